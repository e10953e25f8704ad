#include "core/ast/walk.h"

namespace zorv::core {
namespace {

// Asks each record that can hold a placeholder for it, so that every slot comes with its owner.
template <bool Const>
struct SlotCollector {
    template <class T>
    using C = std::conditional_t<Const, const T, T>;
    using Slot = BasicPlaceholderSlot<Const>;

    std::vector<Slot>& out;

    template <class P, class Owner>
    void add(P& placeholder, Owner* owner) const {
        if (placeholder) out.push_back(Slot{&*placeholder, owner});
    }
    template <class Owner>
    void add_alternative(Owner& owner) const {
        if (auto* p = std::get_if<Placeholder>(&owner.value)) out.push_back(Slot{p, &owner});
    }

    void operator()(C<Literal>& n) const { add_alternative(n); }
    void operator()(C<PointId>& n) const { add_alternative(n); }
    void operator()(C<ShardKey>& n) const { add_alternative(n); }
    void operator()(C<VectorValue>& n) const { add_alternative(n); }
    void operator()(C<PointVectors>& n) const { add_alternative(n); }
    void operator()(C<QueryInput>& n) const { add_alternative(n); }
    void operator()(C<QueryInput::Text>& n) const { add(n.text_param, &n); }
    void operator()(C<QueryExpr::Hybrid>& n) const { add(n.text_param, &n); }
    void operator()(C<QueryExpr::CrossRerank>& n) const { add(n.query_param, &n); }
    void operator()(C<Page>& n) const {
        add(n.limit_param, &n);
        add(n.offset_param, &n);
    }
    void operator()(C<Scroll>& n, C<Placeholder>& p) const { out.push_back(Slot{&p, &n}); }
    void operator()(C<Facet>& n, C<Placeholder>& p) const { out.push_back(Slot{&p, &n}); }
    void operator()(C<UpsertRow>& n) const { add_alternative(n); }
    void operator()(C<FormulaExpr>& n) const {
        if (auto* v = std::get_if<FormulaExpr::Variable>(&n.node)) add(v->param, &n);
    }
};

template <bool Const, class Root>
std::vector<BasicPlaceholderSlot<Const>> collect(Root& root, WalkOrder order) {
    std::vector<BasicPlaceholderSlot<Const>> slots;
    walk(root, SlotCollector<Const>{slots}, order);
    return slots;
}

}  // namespace

std::vector<PlaceholderSlot> placeholder_slots(Statement& root, WalkOrder order) { return collect<false>(root, order); }
std::vector<ConstPlaceholderSlot> placeholder_slots(const Statement& root, WalkOrder order) {
    return collect<true>(root, order);
}
std::vector<PlaceholderSlot> placeholder_slots(Query& root, WalkOrder order) { return collect<false>(root, order); }
std::vector<ConstPlaceholderSlot> placeholder_slots(const Query& root, WalkOrder order) {
    return collect<true>(root, order);
}

}  // namespace zorv::core
