#pragma once

// The pieces that the parts of the HTML overview share, and the parts kept in files of their own.

#include <cstdint>
#include <string>

#include "analysis/extremes.h"
#include "report/run_report.h"

namespace quarnel {

// "the largest right edge", "the smallest top edge", "the largest width", "the largest height".
const char* ExtremeMeaning(ExtremeKind kind);

// A link to the card of page `index`, the name isolated from the text around it.
std::string PageLink(const RunReport& report, std::int32_t index);

// True when some page has a box, so that there is a canvas.
bool AnyBox(const RunReport& report);

// Two changes in pixels, those above 0, joined: "5 px further left and 3 px lower", "3 px lower";
// empty when neither is above 0.
std::string PixelChanges(std::int32_t first, const char* firstWhat, std::int32_t second,
                         const char* secondWhat);

// How far the window that the canvas shows moves when the extremes `e` become `without`: "5 px
// further left and 3 px lower"; empty when it stays.
std::string WindowMove(const Extremes& e, const Extremes& without);

// The verdict at the top: the findings that explain the canvas (see verdict.h) in words, their
// pages linked to the cards, and what the words mean.
std::string VerdictHtml(const RunReport& report);

}  // namespace quarnel
