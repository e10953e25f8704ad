// One walk over every node of a statement tree, and the placeholder slots found on it.
//
// `walk(node, visitor)` calls `visitor(record)` for each record it enters, parent before children,
// in the library's visiting order (mostly the order of the text; where it differs, as for the
// keyword arguments of a decay function or a QUERY's PARAMS before its SHARD, the walk says so):
// the wrappers (Statement, Query, QueryExpr, Filter,
// FormulaExpr, Literal, QueryInput, VectorValue, PointVectors, PointId, ShardKey, ...) and then the
// alternative each holds (Filter::Compare, QueryExpr::Hybrid, Placeholder, ...). The visitor takes
// only the types it has an overload for; nothing else is asked of it. A visitor on the mutable
// walk may rewrite the record it is given; the walk then descends into what is there afterwards.
//
// Every variant is visited with one overload per alternative and no catch-all, so adding a node
// kind does not compile until it is walked here.
#pragma once

#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "core/ast/filter.h"
#include "core/ast/formula.h"
#include "core/ast/literal.h"
#include "core/ast/query.h"
#include "core/ast/search.h"
#include "core/ast/statement.h"
#include "core/ast/vector.h"
#include "core/overloaded.h"

namespace zorv::core {

// Where a QUERY body visits its SHARD key: the placeholder scan visits it before LIMIT and OFFSET,
// binding after them. Everything else is visited alike.
enum class WalkOrder : std::uint8_t { Scan, Bind };

namespace walk_detail {

// T with the constness of N.
template <class N, class T>
using Like = std::conditional_t<std::is_const_v<N>, const T, T>;

template <class V>
class Walker {
public:
    Walker(V& visitor, WalkOrder order) : visitor_(visitor), order_(order) {}

    template <class N>
    void enter(N& record) {
        if constexpr (std::is_invocable_v<V&, N&>) visitor_(record);
    }

    // A placeholder held beside a value by a record entered long before it (the LIMIT of SCROLL
    // and FACET): the visitor may take the pair, so that the slot is met in its own place.
    template <class N, class P>
    void owned_placeholder(N& owner, P& p) {
        if constexpr (std::is_invocable_v<V&, N&, P&>) visitor_(owner, p);
        placeholder(p);
    }

    template <class S>
    void statement(S& s) {
        enter(s);
        std::visit(Overloaded{
                       [&](Like<S, Box<Query>>& n) { query(*n); },
                       [&](Like<S, Box<Scroll>>& n) { scroll(*n); },
                       [&](Like<S, Box<Upsert>>& n) { upsert(*n); },
                       [&](Like<S, Box<CreateCollection>>& n) { create_collection(*n); },
                       [&](Like<S, Box<CreateIndex>>& n) { with_entries(*n, n->options); },
                       [&](Like<S, Box<DropIndex>>& n) { enter(*n); },
                       [&](Like<S, Box<CreateShardKey>>& n) { with_shard_key(*n); },
                       [&](Like<S, Box<DropShardKey>>& n) { with_shard_key(*n); },
                       [&](Like<S, Box<AlterCollection>>& n) {
                           enter(*n);
                           collection_settings(*n->config);
                       },
                       [&](Like<S, Box<DropCollection>>& n) { enter(*n); },
                       [&](Like<S, ShowCollections>& n) { enter(n); },
                       [&](Like<S, ShowCollection>& n) { enter(n); },
                       [&](Like<S, ShowShardKeys>& n) { enter(n); },
                       [&](Like<S, Box<Delete>>& n) { selected(*n); },
                       [&](Like<S, Box<ClearPayload>>& n) { selected(*n); },
                       [&](Like<S, Box<DeletePayload>>& n) { selected(*n); },
                       [&](Like<S, Box<DeleteVector>>& n) { selected(*n); },
                       [&](Like<S, Box<UpdateVector>>& n) { update_vector(*n); },
                       [&](Like<S, Box<UpdatePayload>>& n) { update_payload(*n); },
                       [&](Like<S, Box<Count>>& n) { count(*n); },
                       [&](Like<S, Box<Facet>>& n) { facet(*n); },
                       [&](Like<S, ShowQuotas>& n) { enter(n); },
                       [&](Like<S, Box<SetQuota>>& n) { with_entries(*n, n->config); },
                       [&](Like<S, Box<Batch>>& n) { batch(*n); },
                   },
                   s.node);
    }

    // Definitions, then the WITH clauses; only PARAMS shard keys and the entry lists hold values.
    template <class C>
    void create_collection(C& c) {
        enter(c);
        for (auto& def : c.vectors) enter(def);
        for (auto& def : c.sparse_vectors) enter(def);
        if (c.config) collection_settings(**c.config);
    }

    template <class C>
    void collection_settings(C& settings) {
        enter(settings);
        if (settings.params) {
            enter(*settings.params);
            if (settings.params->shard_keys) {
                for (auto& key : *settings.params->shard_keys) shard_key(key);
            }
        }
        if (settings.wal) dict(*settings.wal);
        if (settings.strict_mode) dict(*settings.strict_mode);
        if (settings.metadata) dict(*settings.metadata);
        for (auto& diff : settings.vector_diffs) enter(diff);
        for (auto& diff : settings.sparse_vector_diffs) enter(diff);
    }

    // CREATE INDEX options and SET QUOTA entries.
    template <class R, class D>
    void with_entries(R& r, D& entries) {
        enter(r);
        dict(entries);
    }

    template <class R>
    void with_shard_key(R& r) {
        enter(r);
        shard_key(r.shard_key);
    }

    // PARAMS (the IDF corpus), then the members in order.
    template <class B>
    void batch(B& b) {
        enter(b);
        if (b.params) search_params(*b.params);
        for (auto& member : b.statements) statement(member);
    }

    // WITH, the expression (its PREFETCH last), WHERE, PARAMS (the IDF corpus), then SHARD and
    // LIMIT / OFFSET in the order of the walk.
    template <class Q>
    void query(Q& q) {
        enter(q);
        for (auto& cte : q.ctes) {
            enter(cte);
            query(*cte.query);
        }
        query_expr(q.expression);
        if (q.filter) filter(**q.filter);
        if (q.params) search_params(*q.params);
        if (q.group) {
            enter(*q.group);
            if (q.group->lookup) enter(*q.group->lookup);
        }
        enter(q.output);
        if (q.shard_key && order_ == WalkOrder::Scan) shard_key(*q.shard_key);
        enter(q.page);
        if (q.page.limit_param) placeholder(*q.page.limit_param);
        if (q.page.offset_param) placeholder(*q.page.offset_param);
        if (q.shard_key && order_ == WalkOrder::Bind) shard_key(*q.shard_key);
    }

    // SCROLL: WHERE, AFTER, ORDER BY (START FROM), LIMIT, SHARD.
    template <class R>
    void scroll(R& r) {
        enter(r);
        if (r.filter) filter(**r.filter);
        if (r.after) point_id(*r.after);
        if (r.order_by) {
            enter(*r.order_by);
            if (r.order_by->start_from) literal(*r.order_by->start_from);
        }
        if (r.limit_param) owned_placeholder(r, *r.limit_param);
        if (r.shard_key) shard_key(*r.shard_key);
    }

    template <class R>
    void count(R& r) {
        enter(r);
        if (r.filter) filter(**r.filter);
        if (r.shard_key) shard_key(*r.shard_key);
    }

    // FACET: WHERE, LIMIT, SHARD (the printed order).
    template <class R>
    void facet(R& r) {
        enter(r);
        if (r.filter) filter(**r.filter);
        if (r.limit_param) owned_placeholder(r, *r.limit_param);
        if (r.shard_key) shard_key(*r.shard_key);
    }

    // Rows (id, vector, payload), UPDATE FILTER, SHARD.
    template <class R>
    void upsert(R& r) {
        enter(r);
        for (auto& row : r.points) {
            enter(row);
            std::visit(Overloaded{
                           [&](Like<R, UpsertRow::Point>& point) {
                               enter(point);
                               point_id(point.id);
                               if (point.vectors) point_vectors(*point.vectors);
                               dict(point.payload);
                           },
                           [&](Like<R, Placeholder>& p) { placeholder(p); },
                       },
                       row.value);
        }
        if (r.update_filter) filter(*r.update_filter);
        if (r.shard_key) shard_key(*r.shard_key);
    }

    template <class P>
    void point_selector(P& selector) {
        enter(selector);
        std::visit(Overloaded{
                       [&](Like<P, PointId>& id) { point_id(id); },
                       [&](Like<P, std::vector<PointId>>& ids) {
                           for (auto& id : ids) point_id(id);
                       },
                       [&](Like<P, Box<Filter>>& f) { filter(*f); },
                   },
                   selector.value);
    }

    // DELETE, DELETE PAYLOAD, DELETE VECTOR and CLEAR PAYLOAD: the selector, then SHARD.
    template <class R>
    void selected(R& r) {
        enter(r);
        point_selector(r.selector);
        if (r.shard_key) shard_key(*r.shard_key);
    }

    template <class R>
    void update_payload(R& r) {
        enter(r);
        point_selector(r.selector);
        dict(r.payload);
        if (r.shard_key) shard_key(*r.shard_key);
    }

    // Each row's id, then its vectors (the single form writes the vector first), then SHARD.
    template <class R>
    void update_vector(R& r) {
        enter(r);
        for (auto& row : r.points) {
            enter(row);
            point_id(row.id);
            point_vectors(row.vectors);
        }
        if (r.shard_key) shard_key(*r.shard_key);
    }

    template <class S>
    void search_params(S& params) {
        enter(params);
        if (params.idf) {
            enter(*params.idf);
            if (params.idf->corpus) filter(*params.idf->corpus);
        }
    }

    template <class E>
    void query_expr(E& e) {
        enter(e);
        std::visit(Overloaded{
                       [&](Like<E, QueryExpr::Points>& n) {
                           enter(n);
                           for (auto& id : n.ids) point_id(id);
                       },
                       [&](Like<E, QueryExpr::Nearest>& n) {
                           enter(n);
                           query_input(n.input);
                           prefetch_list(n.prefetch);
                       },
                       [&](Like<E, QueryExpr::Recommend>& n) {
                           enter(n);
                           for (auto& input : n.positive) query_input(input);
                           for (auto& input : n.negative) query_input(input);
                           prefetch_list(n.prefetch);
                       },
                       [&](Like<E, QueryExpr::Context>& n) {
                           enter(n);
                           context_pairs(n.pairs);
                           prefetch_list(n.prefetch);
                       },
                       [&](Like<E, QueryExpr::Discover>& n) {
                           enter(n);
                           query_input(n.target);
                           context_pairs(n.context);
                           prefetch_list(n.prefetch);
                       },
                       [&](Like<E, QueryExpr::OrderBy>& n) {
                           enter(n);
                           if (n.start_from) literal(*n.start_from);
                       },
                       [&](Like<E, QueryExpr::SampleRandom>& n) { enter(n); },
                       [&](Like<E, QueryExpr::Fusion>& n) {
                           enter(n);
                           prefetch_list(n.prefetch);
                       },
                       [&](Like<E, QueryExpr::Formula>& n) {
                           enter(n);
                           formula(*n.expression);
                           dict(n.defaults);
                           prefetch_list(n.prefetch);
                       },
                       [&](Like<E, QueryExpr::RelevanceFeedback>& n) {
                           enter(n);
                           query_input(n.target);
                           for (auto& item : n.feedback) {
                               enter(item);
                               query_input(item.example);
                           }
                           prefetch_list(n.prefetch);
                       },
                       [&](Like<E, QueryExpr::Hybrid>& n) {
                           enter(n);
                           if (n.text_param) placeholder(*n.text_param);
                       },
                       [&](Like<E, QueryExpr::Rerank>& n) {
                           enter(n);
                           query_input(n.input);
                           prefetch_list(n.prefetch);
                       },
                       [&](Like<E, QueryExpr::CrossRerank>& n) {
                           enter(n);
                           if (n.query_param) placeholder(*n.query_param);
                           prefetch_list(n.prefetch);
                       },
                   },
                   e.node);
    }

    template <class L>
    void context_pairs(L& pairs) {
        for (auto& pair : pairs) {
            enter(pair);
            query_input(pair.positive);
            query_input(pair.negative);
        }
    }

    template <class L>
    void prefetch_list(L& list) {
        for (auto& item : list) {
            enter(item);
            std::visit(Overloaded{
                           [&](Like<L, Box<Query>>& nested) { query(*nested); },
                           [&](Like<L, std::string>&) {},  // a CTE name: its body is walked under WITH
                       },
                       item.source.value);
            if (item.filter) filter(**item.filter);
            if (item.lookup) {
                enter(*item.lookup);
                if (item.lookup->shard_key) shard_key(*item.lookup->shard_key);
            }
        }
    }

    template <class I>
    void query_input(I& input) {
        enter(input);
        std::visit(Overloaded{
                       [&](Like<I, QueryInput::Text>& n) {
                           enter(n);
                           if (n.text_param) placeholder(*n.text_param);
                           dict(n.options);
                       },
                       [&](Like<I, QueryInput::Image>& n) { image(n); },
                       [&](Like<I, QueryInput::Object>& n) { object(n); },
                       [&](Like<I, VectorValue>& n) { vector_value(n); },
                       [&](Like<I, PointId>& n) { point_id(n); },
                       [&](Like<I, Placeholder>& n) { placeholder(n); },
                   },
                   input.value);
    }

    template <class N>
    void image(N& n) {
        enter(n);
        dict(n.options);
    }

    template <class N>
    void object(N& n) {
        enter(n);
        literal(*n.object);
        dict(n.options);
    }

    template <class T>
    void vector_value(T& v) {
        enter(v);
        std::visit(Overloaded{
                       [&](Like<T, VectorValue::Dense>& n) { enter(n); },
                       [&](Like<T, VectorValue::Sparse>& n) { enter(n); },
                       [&](Like<T, VectorValue::MultiDense>& n) { enter(n); },
                       [&](Like<T, VectorValue::Document>& n) {
                           enter(n);
                           dict(n.options);
                       },
                       [&](Like<T, VectorValue::Image>& n) { image(n); },
                       [&](Like<T, VectorValue::Object>& n) { object(n); },
                       [&](Like<T, Placeholder>& n) { placeholder(n); },
                   },
                   v.value);
    }

    template <class T>
    void point_vectors(T& p) {
        enter(p);
        std::visit(Overloaded{
                       [&](Like<T, VectorValue>& n) { vector_value(n); },
                       [&](Like<T, NamedVectors>& n) {
                           for (auto& entry : n) vector_value(entry.second);
                       },
                       [&](Like<T, Placeholder>& n) { placeholder(n); },
                   },
                   p.value);
    }

    template <class T>
    void point_id(T& id) {
        enter(id);
        std::visit(Overloaded{
                       [&](Like<T, std::uint64_t>&) {},
                       [&](Like<T, std::string>&) {},
                       [&](Like<T, Placeholder>& n) { placeholder(n); },
                   },
                   id.value);
    }

    template <class T>
    void shard_key(T& key) {
        enter(key);
        std::visit(Overloaded{
                       [&](Like<T, std::string>&) {},
                       [&](Like<T, std::uint64_t>&) {},
                       [&](Like<T, Placeholder>& n) { placeholder(n); },
                   },
                   key.value);
    }

    template <class T>
    void literal(T& lit) {
        enter(lit);
        std::visit(Overloaded{
                       [&](Like<T, std::string>&) {},
                       [&](Like<T, std::int64_t>&) {},
                       [&](Like<T, std::uint64_t>&) {},
                       [&](Like<T, double>&) {},
                       [&](Like<T, bool>&) {},
                       [&](Like<T, NullValue>&) {},
                       [&](Like<T, LiteralDict>& n) { dict(n); },
                       [&](Like<T, LiteralList>& n) { list(n); },
                       [&](Like<T, F32Array>&) {},
                       [&](Like<T, Placeholder>& n) { placeholder(n); },
                   },
                   lit.value);
    }

    template <class D>
    void dict(D& entries) {
        for (auto& entry : entries) literal(entry.second);
    }

    template <class L>
    void list(L& items) {
        for (auto& item : items) literal(item);
    }

    template <class P>
    void placeholder(P& p) {
        enter(p);
    }

    template <class F>
    void filter(F& f) {
        enter(f);
        std::visit(Overloaded{
                       [&](Like<F, Filter::PointId>& n) {
                           enter(n);
                           std::visit(Overloaded{
                                          [&](Like<F, PointId>& id) { point_id(id); },
                                          [&](Like<F, std::vector<PointId>>& ids) {
                                              for (auto& id : ids) point_id(id);
                                          },
                                      },
                                      n.predicate.value);
                       },
                       [&](Like<F, Filter::Compare>& n) {
                           enter(n);
                           literal(n.value);
                       },
                       [&](Like<F, Filter::Between>& n) {
                           enter(n);
                           literal(n.low);
                           literal(n.high);
                       },
                       [&](Like<F, Filter::In>& n) {
                           enter(n);
                           list(n.values);
                       },
                       [&](Like<F, Filter::IsNull>& n) { enter(n); },
                       [&](Like<F, Filter::IsEmpty>& n) { enter(n); },
                       [&](Like<F, Filter::MatchText>& n) { enter(n); },
                       [&](Like<F, Filter::MatchAny>& n) {
                           enter(n);
                           list(n.values);
                       },
                       [&](Like<F, Filter::MatchPhrase>& n) { enter(n); },
                       [&](Like<F, Filter::MatchPrefix>& n) { enter(n); },
                       [&](Like<F, Filter::MatchTokens>& n) { enter(n); },
                       [&](Like<F, Filter::MatchExcept>& n) {
                           enter(n);
                           list(n.values);
                       },
                       [&](Like<F, Filter::MinShould>& n) {
                           enter(n);
                           for (auto& operand : n.operands) filter(operand);
                       },
                       [&](Like<F, Filter::And>& n) {
                           enter(n);
                           for (auto& operand : n.operands) filter(operand);
                       },
                       [&](Like<F, Filter::Or>& n) {
                           enter(n);
                           for (auto& operand : n.operands) filter(operand);
                       },
                       [&](Like<F, Filter::Not>& n) {
                           enter(n);
                           filter(*n.operand);
                       },
                       [&](Like<F, Filter::Nested>& n) {
                           enter(n);
                           filter(*n.filter);
                       },
                       [&](Like<F, Filter::HasVector>& n) { enter(n); },
                       [&](Like<F, Filter::Slice>& n) { enter(n); },
                       [&](Like<F, Filter::ValuesCount>& n) { enter(n); },
                       [&](Like<F, Filter::GeoBoundingBox>& n) { enter(n); },
                       [&](Like<F, Filter::GeoRadius>& n) { enter(n); },
                       [&](Like<F, Filter::GeoPolygon>& n) { enter(n); },
                   },
                   f.node);
    }

    template <class E>
    void formula(E& e) {
        enter(e);
        using X = FormulaExpr;
        std::visit(Overloaded{
                       [&](Like<E, X::Constant>& n) { enter(n); },
                       [&](Like<E, X::Variable>& n) {
                           enter(n);
                           if (n.param) placeholder(*n.param);
                       },
                       [&](Like<E, X::Sum>& n) { binary(n); },
                       [&](Like<E, X::Sub>& n) { binary(n); },
                       [&](Like<E, X::Mul>& n) { binary(n); },
                       [&](Like<E, X::Div>& n) { binary(n); },
                       [&](Like<E, X::Neg>& n) {
                           enter(n);
                           formula(*n.operand);
                       },
                       [&](Like<E, X::Abs>& n) { unary(n); },
                       [&](Like<E, X::Sqrt>& n) { unary(n); },
                       [&](Like<E, X::Log>& n) { unary(n); },
                       [&](Like<E, X::Ln>& n) { unary(n); },
                       [&](Like<E, X::Exp>& n) { unary(n); },
                       [&](Like<E, X::Acosh>& n) { unary(n); },
                       [&](Like<E, X::Pow>& n) {
                           enter(n);
                           formula(*n.base);
                           formula(*n.exponent);
                       },
                       [&](Like<E, X::Max>& n) {
                           enter(n);
                           for (auto& arg : n.args) formula(arg);
                       },
                       [&](Like<E, X::Min>& n) {
                           enter(n);
                           for (auto& arg : n.args) formula(arg);
                       },
                       [&](Like<E, X::GeoDistance>& n) { enter(n); },
                       [&](Like<E, X::Decay>& n) {
                           enter(n);
                           formula(*n.x);
                           if (n.target) formula(**n.target);
                       },
                       [&](Like<E, X::Case>& n) {
                           enter(n);
                           filter(*n.cond);
                           formula(*n.then_);
                           formula(*n.else_);
                       },
                       [&](Like<E, X::MatchCondition>& n) {
                           enter(n);
                           list(n.values);
                       },
                       [&](Like<E, X::Datetime>& n) { enter(n); },
                       [&](Like<E, X::DatetimeKey>& n) { enter(n); },
                   },
                   e.node);
    }

    template <class N>
    void binary(N& n) {
        enter(n);
        formula(*n.left);
        formula(*n.right);
    }

    template <class N>
    void unary(N& n) {
        enter(n);
        formula(*n.x);
    }

private:
    V& visitor_;
    WalkOrder order_;
};

template <class T>
concept Walkable =
    std::is_same_v<std::remove_const_t<T>, Statement> || std::is_same_v<std::remove_const_t<T>, Query> ||
    std::is_same_v<std::remove_const_t<T>, QueryExpr> || std::is_same_v<std::remove_const_t<T>, Filter> ||
    std::is_same_v<std::remove_const_t<T>, FormulaExpr> || std::is_same_v<std::remove_const_t<T>, QueryInput> ||
    std::is_same_v<std::remove_const_t<T>, VectorValue> || std::is_same_v<std::remove_const_t<T>, PointVectors> ||
    std::is_same_v<std::remove_const_t<T>, Literal> || std::is_same_v<std::remove_const_t<T>, PointId> ||
    std::is_same_v<std::remove_const_t<T>, ShardKey>;

}  // namespace walk_detail

// Walks `root` and everything under it; `root` is a Statement, Query, QueryExpr, Filter,
// FormulaExpr, QueryInput, VectorValue, PointVectors, Literal, PointId or ShardKey, const or not.
template <walk_detail::Walkable T, class V>
void walk(T& root, V&& visitor, WalkOrder order = WalkOrder::Scan) {
    walk_detail::Walker<std::remove_reference_t<V>> w(visitor, order);
    using R = std::remove_const_t<T>;
    if constexpr (std::is_same_v<R, Statement>) w.statement(root);
    else if constexpr (std::is_same_v<R, Query>) w.query(root);
    else if constexpr (std::is_same_v<R, QueryExpr>) w.query_expr(root);
    else if constexpr (std::is_same_v<R, Filter>) w.filter(root);
    else if constexpr (std::is_same_v<R, FormulaExpr>) w.formula(root);
    else if constexpr (std::is_same_v<R, QueryInput>) w.query_input(root);
    else if constexpr (std::is_same_v<R, VectorValue>) w.vector_value(root);
    else if constexpr (std::is_same_v<R, PointVectors>) w.point_vectors(root);
    else if constexpr (std::is_same_v<R, Literal>) w.literal(root);
    else if constexpr (std::is_same_v<R, PointId>) w.point_id(root);
    else w.shard_key(root);
}

// One placeholder of a statement and the record that holds it. A binder replaces the owner's
// value (a Literal, PointId, ... becomes the bound value; a formula Variable becomes a Constant)
// or, for the records that keep a placeholder beside a value (TEXT, HYBRID and CROSS RERANK text,
// LIMIT and OFFSET), fills the value and clears the placeholder.
template <bool Const>
struct BasicPlaceholderSlot {
    template <class T>
    using Ptr = std::conditional_t<Const, const T*, T*>;
    using Owner =
        std::variant<Ptr<Literal>, Ptr<PointId>, Ptr<ShardKey>, Ptr<VectorValue>, Ptr<PointVectors>, Ptr<QueryInput>,
                     Ptr<QueryInput::Text>, Ptr<QueryExpr::Hybrid>, Ptr<QueryExpr::CrossRerank>, Ptr<Page>,
                     Ptr<FormulaExpr>, Ptr<Scroll>, Ptr<Facet>, Ptr<UpsertRow>>;

    Ptr<Placeholder> placeholder;
    Owner owner;
};

using PlaceholderSlot = BasicPlaceholderSlot<false>;
using ConstPlaceholderSlot = BasicPlaceholderSlot<true>;

// Every placeholder slot under `root`, in visiting order. A slot stays valid while only its own
// owner is rewritten.
std::vector<PlaceholderSlot> placeholder_slots(Statement& root, WalkOrder order = WalkOrder::Scan);
std::vector<ConstPlaceholderSlot> placeholder_slots(const Statement& root, WalkOrder order = WalkOrder::Scan);
std::vector<PlaceholderSlot> placeholder_slots(Query& root, WalkOrder order = WalkOrder::Scan);
std::vector<ConstPlaceholderSlot> placeholder_slots(const Query& root, WalkOrder order = WalkOrder::Scan);

// Calls `f(slot)` for each slot of placeholder_slots(root).
template <class T, class F>
void for_each_placeholder(T& root, F&& f) {
    for (auto& slot : placeholder_slots(root)) f(slot);
}

}  // namespace zorv::core
