// A visitor made of lambdas, one per alternative: std::visit(Overloaded{...}, variant).
#pragma once

namespace zorv::core {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace zorv::core
