// Canonical text of SCROLL, COUNT and FACET.
#pragma once

#include "core/ast/read.h"
#include "core/fmt/sink.h"

namespace zorv::core {

void write_scroll(TextSink& sink, const Scroll& scroll);
void write_count(TextSink& sink, const Count& count);
void write_facet(TextSink& sink, const Facet& facet);

}  // namespace zorv::core
