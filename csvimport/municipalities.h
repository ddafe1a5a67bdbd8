#pragma once
// The prefectures and municipalities the program ships, for splitting an
// address where no postal list is loaded: "prefecture,municipality" lines.

namespace tessolo::csvimport {

extern const char16_t* const kMunicipalities;

} // namespace tessolo::csvimport
