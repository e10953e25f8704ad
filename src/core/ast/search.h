// Search parameters of a PARAMS block and the WITH PAYLOAD / WITH VECTOR selectors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/ast/filter.h"

namespace zorv::core {

// The read consistency of a search: a replica count or a named level.
struct Consistency {
    struct Factor {
        std::uint64_t value = 0;
        friend bool operator==(const Factor&, const Factor&) = default;
    };
    struct Majority {
        friend bool operator==(const Majority&, const Majority&) = default;
    };
    struct Quorum {
        friend bool operator==(const Quorum&, const Quorum&) = default;
    };
    struct All {
        friend bool operator==(const All&, const All&) = default;
    };

    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { Factor, Majority, Quorum, All };
    using Value = std::variant<Factor, Majority, Quorum, All>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    bool is(Kind k) const { return kind() == k; }
    // The replica count of a Factor.
    std::uint64_t factor_value() const { return std::get<Factor>(value).value; }

    static Consistency factor(std::uint64_t n) { return Consistency{Factor{n}}; }
    static Consistency majority() { return Consistency{Majority{}}; }
    static Consistency quorum() { return Consistency{Quorum{}}; }
    static Consistency all() { return Consistency{All{}}; }

    friend bool operator==(const Consistency&, const Consistency&) = default;
};

struct QuantizationSearchParams {
    std::optional<bool> ignore;
    std::optional<bool> rescore;
    std::optional<double> oversampling;  // finite, > 0

    friend bool operator==(const QuantizationSearchParams&, const QuantizationSearchParams&) = default;
};

// IDF statistics of sparse search; no corpus filter means the global corpus.
struct IdfParams {
    std::optional<Filter> corpus;
    friend bool operator==(const IdfParams&, const IdfParams&) = default;
};

// Every field stays absent until its key is written; a parsed block sets at least one.
struct SearchParams {
    std::optional<std::uint64_t> hnsw_ef;  // >= 1
    std::optional<bool> exact;
    std::optional<bool> acorn;
    std::optional<double> max_selectivity;  // finite, in (0, 1]
    std::optional<bool> indexed_only;
    std::optional<QuantizationSearchParams> quantization;
    std::optional<std::uint64_t> rrf_k;  // >= 1
    std::optional<std::vector<double>> rrf_weights;
    std::optional<IdfParams> idf;
    std::optional<std::uint64_t> timeout;  // seconds, >= 1
    std::optional<Consistency> consistency;

    friend bool operator==(const SearchParams&, const SearchParams&) = default;
};

using SelectorNames = std::vector<std::string>;

// WITH PAYLOAD: which payload fields come back. Names keep their written order and repeats.
struct PayloadSelector {
    struct All {
        friend bool operator==(const All&, const All&) = default;
    };
    struct None {
        friend bool operator==(const None&, const None&) = default;
    };
    struct Include {
        SelectorNames names;
        friend bool operator==(const Include&, const Include&) = default;
    };
    struct Exclude {
        SelectorNames names;
        friend bool operator==(const Exclude&, const Exclude&) = default;
    };

    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { All, None, Include, Exclude };
    using Value = std::variant<All, None, Include, Exclude>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    bool is(Kind k) const { return kind() == k; }

    static PayloadSelector all() { return PayloadSelector{All{}}; }
    static PayloadSelector none() { return PayloadSelector{None{}}; }
    static PayloadSelector include(SelectorNames names) { return PayloadSelector{Include{std::move(names)}}; }
    static PayloadSelector exclude(SelectorNames names) { return PayloadSelector{Exclude{std::move(names)}}; }

    friend bool operator==(const PayloadSelector&, const PayloadSelector&) = default;
};

// WITH VECTOR: which named vectors come back.
struct VectorSelector {
    struct All {
        friend bool operator==(const All&, const All&) = default;
    };
    struct None {
        friend bool operator==(const None&, const None&) = default;
    };
    struct Names {
        SelectorNames names;
        friend bool operator==(const Names&, const Names&) = default;
    };

    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { All, None, Names };
    using Value = std::variant<All, None, Names>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    bool is(Kind k) const { return kind() == k; }

    static VectorSelector all() { return VectorSelector{All{}}; }
    static VectorSelector none() { return VectorSelector{None{}}; }
    static VectorSelector names(SelectorNames list) { return VectorSelector{Names{std::move(list)}}; }

    friend bool operator==(const VectorSelector&, const VectorSelector&) = default;
};

}  // namespace zorv::core
