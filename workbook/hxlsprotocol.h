#pragma once

// What product-xlsread, the helper program that reads .xls files, writes to its standard
// output, and HXlsReader reads. Numbers are little-endian.
//
//   magic "PMXL1\n"
//   Sheet:  'S' u32 size, name (UTF-8), u8 1 when its rows follow
//   Row:    'R' u32 row, then per cell u16 column and one of
//               'T' u32 size, text (UTF-8) | 'N' f64 number | 'I' i32 integer,
//           and u16 0xFFFF after the last cell
//   Done:   'E'
//   Failed: 'F' u32 size, reason (UTF-8)
//
// The helper keeps FreeXL, which trusts the structure of the file it reads, out of the
// tool's process: a damaged file that crashes it ends the helper, not the tool.
namespace HXlsProtocol {

constexpr char Magic[] = "PMXL1\n";
constexpr int MagicSize = 6;
constexpr char Sheet = 'S';
constexpr char Row = 'R';
constexpr char Text = 'T';
constexpr char Number = 'N';
constexpr char Integer = 'I';
constexpr unsigned short EndOfRow = 0xFFFF;
constexpr char Done = 'E';
constexpr char Failed = 'F';
// The longest text the reader takes from the helper (a cell holds at most 32,767 characters).
constexpr int MaxText = 1 << 20;

} // namespace HXlsProtocol
