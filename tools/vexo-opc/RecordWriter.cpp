//===- RecordWriter.cpp - rows of named columns as a table, CSV or JSON ---===//
#include "RecordWriter.h"

#include <algorithm>

namespace vexo::cli {

namespace {

constexpr const char *Gap = "  ";

std::string JsonText(const TCell &Cell, int Indent) {
    // Text from a server or a file need not be UTF-8; it must not end the output.
    return Cell.dump(Indent, ' ', false, nlohmann::detail::error_handler_t::replace);
}

void Pad(std::ostream &Out, const std::string &Text, std::size_t Width) {
    Out << Text;
    for (std::size_t W = DisplayWidth(Text); W < Width; ++W)
        Out << ' ';
}

} // namespace

std::size_t DisplayWidth(const std::string &Text) {
    return static_cast<std::size_t>(std::count_if(Text.begin(), Text.end(), [](char C) {
        return (static_cast<unsigned char>(C) & 0xC0) != 0x80;
    }));
}

TRecordWriter::TRecordWriter(std::ostream &Out, const TCliOptions &Options,
                             std::vector<std::string> Columns, TRecordLayout Layout,
                             std::string ValueColumn)
    : FOut(Out), FFormat(Options.Format), FLayout(Layout), FColumns(std::move(Columns)),
      FWidths(FColumns.size(), 0) {
    if (Options.ValueOnly && !ValueColumn.empty()) {
        const auto It = std::find(FColumns.begin(), FColumns.end(), ValueColumn);
        if (It != FColumns.end())
            FValueIndex = static_cast<int>(It - FColumns.begin());
    }
    for (std::size_t I = 0; I < FColumns.size(); ++I)
        FWidths[I] = FColumns[I].size();
}

void TRecordWriter::ReserveWidth(std::size_t Index, std::size_t Width) {
    if (Index < FWidths.size())
        FWidths[Index] = std::max(FWidths[Index], Width);
}

std::string TRecordWriter::CsvField(const std::string &Text) {
    const bool Quote = Text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!Text.empty() && (Text.front() == ' ' || Text.back() == ' '));
    if (!Quote)
        return Text;
    std::string Field = "\"";
    for (char C : Text)
        Field += C == '"' ? std::string("\"\"") : std::string(1, C);
    return Field + "\"";
}

std::string TRecordWriter::TableText(const TCell &Cell) const {
    if (Cell.is_null())
        return "-";
    std::string Text = CellText(Cell);
    // One row stays one line.
    std::replace_if(
        Text.begin(), Text.end(), [](char C) { return C == '\n' || C == '\r' || C == '\t'; }, ' ');
    return Text;
}

void TRecordWriter::WriteCsvRow(const std::vector<std::string> &Texts) {
    for (std::size_t I = 0; I < Texts.size(); ++I)
        FOut << (I ? "," : "") << CsvField(Texts[I]);
    FOut << '\n';
}

void TRecordWriter::Add(std::vector<TCell> Row) {
    Row.resize(FColumns.size());
    ++FRows;
    if (FValueIndex >= 0) {
        const TCell &Value = Row[static_cast<std::size_t>(FValueIndex)];
        FOut << (FFormat == TOutputFormat::Json ? JsonText(Value, -1) : CellText(Value)) << '\n';
        if (FLayout == TRecordLayout::Stream)
            FOut.flush();
        return;
    }
    if (FLayout == TRecordLayout::Stream) {
        WriteStreamRow(Row);
        FOut.flush(); // read as it happens
        return;
    }
    if (FFormat == TOutputFormat::Csv) {
        if (!FHeaderDone)
            WriteCsvRow(FColumns);
        FHeaderDone = true;
        std::vector<std::string> Texts;
        for (const TCell &Cell : Row)
            Texts.push_back(CellText(Cell));
        WriteCsvRow(Texts);
        return;
    }
    FHeld.push_back(std::move(Row));
}

void TRecordWriter::WriteStreamRow(const std::vector<TCell> &Row) {
    if (FFormat == TOutputFormat::Json) {
        TCell Object = TCell::object();
        for (std::size_t I = 0; I < FColumns.size(); ++I)
            Object[FColumns[I]] = Row[I];
        FOut << JsonText(Object, -1) << '\n';
        return;
    }
    std::vector<std::string> Texts;
    for (const TCell &Cell : Row)
        Texts.push_back(FFormat == TOutputFormat::Csv ? CellText(Cell) : TableText(Cell));
    if (FFormat == TOutputFormat::Csv) {
        if (!FHeaderDone)
            WriteCsvRow(FColumns);
        FHeaderDone = true;
        WriteCsvRow(Texts);
        return;
    }
    // Columns only grow, so a wide value moves the later columns of later rows only.
    for (std::size_t I = 0; I < Texts.size(); ++I)
        FWidths[I] = std::max(FWidths[I], DisplayWidth(Texts[I]));
    if (!FHeaderDone) {
        for (std::size_t I = 0; I < FColumns.size(); ++I) {
            FOut << (I ? Gap : "");
            Pad(FOut, FColumns[I], I + 1 < FColumns.size() ? FWidths[I] : 0);
        }
        FOut << '\n';
        FHeaderDone = true;
    }
    for (std::size_t I = 0; I < Texts.size(); ++I) {
        FOut << (I ? Gap : "");
        Pad(FOut, Texts[I], I + 1 < Texts.size() ? FWidths[I] : 0);
    }
    FOut << '\n';
}

void TRecordWriter::Finish() {
    if (FFinished)
        return;
    FFinished = true;
    if (FValueIndex >= 0 || FLayout == TRecordLayout::Stream)
        return;
    if (FFormat == TOutputFormat::Csv) {
        if (!FHeaderDone)
            WriteCsvRow(FColumns); // no rows: the columns all the same
        return;
    }
    if (FFormat == TOutputFormat::Json) {
        TCell All = TCell::array();
        for (const std::vector<TCell> &Row : FHeld) {
            TCell Object = TCell::object();
            for (std::size_t I = 0; I < FColumns.size(); ++I)
                Object[FColumns[I]] = Row[I];
            All.push_back(std::move(Object));
        }
        if (FLayout == TRecordLayout::Record)
            FOut << JsonText(All.empty() ? TCell::object() : All[0], 2) << '\n';
        else
            FOut << JsonText(All, 2) << '\n';
        return;
    }
    WriteTable();
}

void TRecordWriter::WriteTable() {
    if (FHeld.empty())
        return;
    if (FLayout == TRecordLayout::Record) {
        std::size_t Width = 0;
        for (const std::string &C : FColumns)
            Width = std::max(Width, C.size());
        for (std::size_t I = 0; I < FColumns.size(); ++I) {
            Pad(FOut, FColumns[I] + ":", Width + 1);
            FOut << Gap << TableText(FHeld.front()[I]) << '\n';
        }
        return;
    }
    std::vector<std::vector<std::string>> Texts;
    for (const std::vector<TCell> &Row : FHeld) {
        Texts.emplace_back();
        for (std::size_t I = 0; I < Row.size(); ++I) {
            Texts.back().push_back(TableText(Row[I]));
            FWidths[I] = std::max(FWidths[I], DisplayWidth(Texts.back().back()));
        }
    }
    Texts.insert(Texts.begin(), FColumns);
    for (const std::vector<std::string> &Row : Texts) {
        for (std::size_t I = 0; I < Row.size(); ++I) {
            FOut << (I ? Gap : "");
            Pad(FOut, Row[I], I + 1 < Row.size() ? FWidths[I] : 0);
        }
        FOut << '\n';
    }
}

} // namespace vexo::cli
