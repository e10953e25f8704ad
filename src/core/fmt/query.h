// Canonical text of QUERY bodies: ranking expressions, inputs, clauses and nested bodies.
#pragma once

#include <string>
#include <vector>

#include "core/ast/query.h"
#include "core/fmt/sink.h"

namespace zorv::core {

// `bare`: a plain text input and a vector may drop their TEXT / VECTOR keyword.
std::string format_query_input(const QueryInput& input, bool bare);
std::string format_query_expression(const QueryExpr& expr);
// The clause texts present, in clause order (USING ... OFFSET).
std::vector<std::string> format_query_clauses(const Query& query);
// A nested body (CTE or PREFETCH source), always on one line.
std::string format_nested_query(const Query& query);
// A whole QUERY statement, with its WITH list and the one-line-or-one-part-per-line layout.
std::string format_query_statement(const Query& query);

void write_query_input(TextSink& sink, const QueryInput& input, bool bare);
void write_query_expression(TextSink& sink, const QueryExpr& expr);
// Each clause present after a part break; returns how many were written.
std::size_t write_query_clauses(TextSink& sink, const Query& query);
void write_nested_query(TextSink& sink, const Query& query);
void write_query_statement(TextSink& sink, const Query& query);

}  // namespace zorv::core
