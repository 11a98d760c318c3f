//===- RecordWriter.h - rows of named columns as a table, CSV or JSON -----===//
//
// Every command that lists or reads prints records through TRecordWriter, so
// the three formats carry the same columns under the same names: a table
// whose columns line up, CSV with a header row, or JSON objects. --value
// prints one column alone, one value per line.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "ValueText.h"

namespace vexo::cli {

enum class TRecordLayout {
    List,   ///< all rows at the end: an aligned table, CSV, or one JSON array
    Record, ///< one row: "name  value" lines, CSV, or one JSON object
    Stream, ///< each row as it comes, flushed: table rows, CSV rows, one JSON object a line
};

class TRecordWriter {
  public:
    /// ValueColumn is the column --value prints; "" when --value does not apply.
    TRecordWriter(std::ostream &Out, const TCliOptions &Options, std::vector<std::string> Columns,
                  TRecordLayout Layout = TRecordLayout::List, std::string ValueColumn = "value");

    /// Adds one row, a cell for each column in order.
    void Add(std::vector<TCell> Row);
    /// Prints what List and Record layouts hold back; a second call does nothing.
    void Finish();
    /// A Stream table starts column Index at least Width characters wide.
    void ReserveWidth(std::size_t Index, std::size_t Width);
    int Rows() const { return FRows; }

    /// Text as one CSV field, quoted when it holds a separator, quote, line
    /// break or blanks at either end.
    static std::string CsvField(const std::string &Text);

  private:
    void WriteTable();
    void WriteStreamRow(const std::vector<TCell> &Row);
    void WriteCsvRow(const std::vector<std::string> &Texts);
    std::string TableText(const TCell &Cell) const;

    std::ostream &FOut;
    TOutputFormat FFormat;
    TRecordLayout FLayout;
    std::vector<std::string> FColumns;
    int FValueIndex = -1; ///< the column printed alone, -1 without --value
    std::vector<std::vector<TCell>> FHeld;
    std::vector<std::size_t> FWidths;
    bool FHeaderDone = false;
    bool FFinished = false;
    int FRows = 0;
};

/// Characters of Text as a terminal counts them (UTF-8 continuation bytes not).
std::size_t DisplayWidth(const std::string &Text);

} // namespace vexo::cli
