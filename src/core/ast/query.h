// The QUERY statement record and its parts.
#pragma once

#include "core/ast/literal.h"

namespace zorv::core {

struct Query {
    CollectionRef collection;
    friend bool operator==(const Query&, const Query&) = default;
};

}  // namespace zorv::core
