#pragma once

#include "base/chip_format.h"
#include "runtime/history_store.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tallybird {

// ISO 3166 country names by numeric code, from the system's iso-codes data.
using CountryNames = std::map<unsigned, std::string>;
// The iso-codes file's names; empty when it is absent or unreadable.
CountryNames ReadIsoCountryNames(const std::filesystem::path& file);
// /usr/share/iso-codes/json/iso_3166-1.json, read once.
const CountryNames& SystemCountryNames();

// The country column of a decimal chip: the country's name for codes 1..899
// (its number when the name is not known), "manufacturer" for 900..998,
// nothing for other codes and other kinds of read.
std::string ChipCountry(const std::string& text, const CountryNames& names);

// The columns both exports share, one row per read.
std::vector<std::string> HistoryHeader();
std::vector<std::string> HistoryRow(const StoredRead& read, ChipFormat format,
                                    const CountryNames& names);

// RFC 4180: CR LF after every record, a field quoted when it holds a comma,
// a quote, CR or LF, quotes doubled; UTF-8 without a byte-order mark.
std::string CsvText(const std::vector<std::vector<std::string>>& records);

// The history as CSV, header first. Written through a temporary file; false
// (and `error`) when it could not be written.
bool WriteHistoryCsv(const std::filesystem::path& file, const std::vector<StoredRead>& reads,
                     ChipFormat format, std::string& error);
// The history as a spreadsheet (.xlsx): every chip cell and every other text a
// text cell, the time a date cell.
bool WriteHistoryXlsx(const std::filesystem::path& file, const std::vector<StoredRead>& reads,
                      ChipFormat format, std::string& error);

// `tallybird-cli history`'s line: time, scanner, chip text, kind, uploaded,
// missing, tab-separated.
std::string HistoryLine(const StoredRead& read);

} // namespace tallybird
