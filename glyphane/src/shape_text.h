// A shape's final text and the order in which a page writes its shapes:
// when a shape's walk ends, its text is built (own text with its runs' case
// rules, or its master shape's text, with field marks replaced by values)
// and the shape is placed in the page's position tree; when the page ends,
// the page's items go to the sink in tree order.
#pragma once

#include <cstdint>

#include "chunk_walk.h"
#include "vsd_session.h"
#include "vsd_sink.h"

namespace glyphane {

// Builds the text of item `index` from the walk's `shape` state and places
// the item (its `position` record) in the position tree.
int32_t BuildShapeText(VsdSession& session, FieldFormatter& formatter, const PageContext& page,
                       uint32_t index, const PositionNode& position, ShapeState* shape);

// Hands the page that was just walked to the sink.
int32_t WritePage(VsdSession& session, VsdSink& sink, const PageContext& page);

// The master shape an item names, or null.
const MasterShape* FindMasterShape(const VsdSession& session, const ShapeItem& item);

// Applies a run's case rule to `text` (UTF-16LE when `utf16`).
enum class RunCase { kAsIs, kUpper, kWordStart };
RunCase CaseOfRun(uint8_t style, uint8_t case_byte);
void ApplyCase(std::string* text, RunCase rule, bool utf16, uint32_t code_page);

}  // namespace glyphane
