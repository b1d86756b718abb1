// The Update record: nine tagged fields cut out of the Update page, and the decision whether
// the offered release deserves a reminder. Everything here works on the page's raw bytes
// (GBK in practice); decoding for display happens only when a label is filled.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/Constants.h"  // kProgramVersion, the version offered versions are compared with

namespace mt {

struct UpdateRecord {
  std::string zpid;        // software number
  std::string zpname;      // software name
  std::string zpver;       // offered version
  std::string zpms;        // description
  std::string zpsjnr;      // upgrade content, may span lines
  std::string zpdx;        // size, free text
  std::string zpgxsj;      // time of the update, free text
  std::string zp_downurl;  // installer URL
  std::string zpzc;        // supported systems
};

// The tags in page order; each field ends five characters before the next tag, the last one
// at its closing "</br>".
inline constexpr std::array<const char*, 9> kUpdateTags = {
    "zpid:", "zpname:", "zpver:", "zpms:", "zpsjnr:", "zpdx:", "zpgxsj:", "zp_downurl:", "zpzc:"};
inline constexpr const char* kFieldSeparator = "</br>";

// The body as a string list would give it back: cut at its first NUL, every line (the last
// one included) ended by CR LF; CR, LF and CR LF all end a line.
std::string NormalisePage(const std::string& body);

// The value of one tag, untrimmed. Never fails: a missing tag or successor gives an empty or
// shifted value.
//  - Cut: scanning positions 1..L of a copy (L its length before the scan), each match of
//    the tag deletes everything up to and including it; the scan carries on over the
//    shortened copy, so a later repetition moves the cut again.
//  - Find the successor (next tag, "</br>" after "zpzc:"); keep what lies before it, minus
//    the five characters in front of a successor tag.
std::string ExtractField(const std::string& page, const std::string& tag);

// The nine fields, each trimmed, or nothing when the page is blank.
std::optional<UpdateRecord> ParseUpdateRecord(const std::string& page);

// Ordinal byte comparison (unsigned bytes; a prefix sorts first): <0, 0, >0.
int CompareBytes(const std::string& a, const std::string& b);

// The Reminder decision: an offered release version ("vX.Y[.Z]") that follows the Program
// version part by part as numbers, unless reminders are off and that very version was
// silenced. `silenced` is compared as bytes with `zpver`, so both must be in the page's
// encoding.
bool ShouldRemind(const std::string& zpver, bool remind, const std::string& silenced);

}  // namespace mt
