//===- StreamWriter.cpp - component text from published properties -------===//
//
// This file implements WriteComponentText: one pass over the property tables,
// appending to one reserved string. Values use the forms the reader accepts:
// True/False, decimal integers, shortest round-trip floats with '.', names
// for enumerations, [a, b] for sets, quoted strings with #nn for control
// characters, broken into " +" continuations when long. A value the reader
// could not take back (a name that is not an identifier, a number that is
// not finite, an ordinal without a name) is refused with EWriteError naming
// the property, so whatever is written reads back to the same values.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/Streaming.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace vexo {
namespace {

constexpr std::size_t StringChunk = 64; // characters per line of a long string

/// A name the reader takes as one identifier (no dots).
bool IsIdentifier(const std::string &S) {
    if (S.empty())
        return false;
    for (std::size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9'))
            return false;
    }
    return true;
}

[[noreturn]] void Refuse(const std::string &Property, const std::string &ClassName,
                         const std::string &Why) {
    throw EWriteError("Cannot write property '" + Property + "' of " + ClassName + ": " + Why);
}

class Writer {
  public:
    Writer(const TComponent &Root, const TEventBinder *Binder) : FRoot(Root), FBinder(Binder) {
        FOut.reserve(1 << 16);
    }

    std::string Run() {
        if (!FRoot.Name().empty() && !IsIdentifier(FRoot.Name()))
            Refuse("Name", FRoot.ClassName(),
                   "'" + FRoot.Name() + "' is not a valid component name");
        if (FRoot.Tag() < INT32_MIN || FRoot.Tag() > INT32_MAX)
            Refuse("Tag", FRoot.ClassName(),
                   IntToStr(FRoot.Tag()) + " is outside the 32-bit range");
        FOut += "object ";
        if (!FRoot.Name().empty()) {
            FOut += FRoot.Name();
            FOut += ": ";
        }
        FOut += FRoot.ClassName();
        FOut += "\r\n";
        if (FRoot.Tag() != 0) {
            Indent(1);
            FOut += "Tag = ";
            AppendInt(FRoot.Tag());
            FOut += "\r\n";
        }
        WriteProperties(FRoot, 1, std::string());
        FOut += "end\r\n";
        return std::move(FOut);
    }

  private:
    void Indent(int Level) { FOut.append(static_cast<std::size_t>(Level) * 2, ' '); }

    void AppendInt(long long V) {
        char buf[24];
        auto res = std::to_chars(buf, buf + sizeof buf, V);
        FOut.append(buf, res.ptr);
    }

    void AppendFloat(double V, bool Single) {
        char buf[64];
        auto res = Single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(V))
                          : std::to_chars(buf, buf + sizeof buf, V);
        FOut.append(buf, res.ptr);
    }

    /// 'text' with doubled quotes, #nn for control characters, and a " +"
    /// line break every StringChunk characters.
    void AppendString(const std::string &S, int Level) {
        if (S.empty()) {
            FOut += "''";
            return;
        }
        bool quoted = false;
        std::size_t onLine = 0;
        for (std::size_t i = 0; i < S.size();) {
            if (onLine >= StringChunk) {
                if (quoted)
                    FOut += '\'';
                quoted = false;
                FOut += " +\r\n";
                Indent(Level + 1);
                onLine = 0;
            }
            const auto c = static_cast<unsigned char>(S[i]);
            if (c < ' ') {
                if (quoted)
                    FOut += '\'';
                quoted = false;
                FOut += '#';
                AppendInt(c);
                ++onLine;
                ++i;
                continue;
            }
            if (!quoted)
                FOut += '\'';
            quoted = true;
            // A run of plain characters, up to the end of the line, goes in one piece.
            const std::size_t limit = std::min(S.size(), i + (StringChunk - onLine));
            std::size_t end = i;
            while (end < limit && static_cast<unsigned char>(S[end]) >= ' ' && S[end] != '\'')
                ++end;
            if (end > i) {
                FOut.append(S, i, end - i);
                onLine += end - i;
                i = end;
                continue;
            }
            FOut += "''"; // a quote, doubled
            ++onLine;
            ++i;
        }
        if (quoted)
            FOut += '\'';
    }

    void BeginLine(int Level, const std::string &Prefix, const TPropInfo &P) {
        Indent(Level);
        FOut += Prefix;
        FOut += P.Name;
        FOut += " = ";
    }

    std::string EventName(const TPersistent &Obj, const TPropInfo &P) const {
        std::string name = FBinder ? FBinder->HandlerName(&Obj, P.Name) : std::string();
        if (!name.empty())
            return name;
        std::string base = FRoot.Name();
        if (base.empty()) {
            base = FRoot.ClassName();
            if (base.size() > 1 && (base[0] == 'T' || base[0] == 't'))
                base.erase(0, 1);
        }
        std::string ev = P.Name;
        if (ev.size() > 2 && SameText(ev.substr(0, 2), "On"))
            ev.erase(0, 2);
        return base + ev;
    }

    void WriteProperties(const TPersistent &Obj, int Level, const std::string &Prefix) {
        if (const PropertyTable *table = Obj.GetPropertyTable())
            WriteTable(*table, Obj, Level, Prefix);
    }

    void WriteTable(const PropertyTable &Table, const TPersistent &Obj, int Level,
                    const std::string &Prefix) {
        if (Table.Base())
            WriteTable(*Table.Base(), Obj, Level, Prefix);
        WriteOwn(Table, Obj, Level, Prefix);
    }

    void WriteOwn(const PropertyTable &Table, const TPersistent &Obj, int Level,
                  const std::string &Prefix) {
        for (const TPropInfo &p : Table.OwnProperties())
            WriteProperty(Obj, p, Level, Prefix);
    }

    void WriteProperty(const TPersistent &Obj, const TPropInfo &P, int Level,
                       const std::string &Prefix) {
        if (!P.IsReadWrite() || (P.Stored && !P.Stored(Obj)))
            return;
        switch (P.Kind) {
        case TPropKind::Boolean:
        case TPropKind::Integer:
        case TPropKind::Int64:
        case TPropKind::Enumeration:
        case TPropKind::Set: {
            const long long v = P.GetOrd(Obj);
            if (P.Default && *P.Default == v)
                return;
            CheckOrdinal(Obj, Prefix, P, v);
            BeginLine(Level, Prefix, P);
            WriteOrdinal(P, v);
            break;
        }
        case TPropKind::Float: {
            const double v = P.GetFloat(Obj);
            if (v == 0)
                return;
            if (!std::isfinite(v))
                Refuse(Prefix + P.Name, Obj.ClassName(),
                       std::string(std::isnan(v) ? "NaN" : "an infinite value") +
                           " cannot be written");
            BeginLine(Level, Prefix, P);
            AppendFloat(v, P.IsSingle);
            break;
        }
        case TPropKind::String: {
            const std::string v = P.GetStr(Obj);
            if (v.empty())
                return;
            BeginLine(Level, Prefix, P);
            AppendString(v, Level);
            break;
        }
        case TPropKind::Class: {
            if (const TPersistent *sub = P.GetObject(Obj)) {
                if (FDepth >= 32)
                    throw EStreamError("Objects nested too deeply at property '" + P.Name + "'");
                ++FDepth;
                WriteProperties(*sub, Level, Prefix + P.Name + ".");
                --FDepth;
            }
            return;
        }
        case TPropKind::Collection: {
            const TCollection *c = P.GetCollection(Obj);
            if (!c)
                return;
            BeginLine(Level, Prefix, P);
            WriteCollection(*c, Level);
            break;
        }
        case TPropKind::Event:
            if (!P.EventAssigned(Obj))
                return;
            BeginLine(Level, Prefix, P);
            FOut += EventName(Obj, P);
            break;
        case TPropKind::Component: {
            const TComponent *c = P.GetComponent(Obj);
            if (!c || c->Name().empty())
                return;
            if (!IsIdentifier(c->Name()))
                Refuse(Prefix + P.Name, Obj.ClassName(),
                       "'" + c->Name() + "' is not a valid component name");
            BeginLine(Level, Prefix, P);
            FOut += c->Name();
            break;
        }
        case TPropKind::Variant:
            return;
        }
        FOut += "\r\n";
    }

    /// Refuses an ordinal the reader would not take back.
    static void CheckOrdinal(const TPersistent &Obj, const std::string &Prefix,
                             const TPropInfo &P, long long V) {
        switch (P.Kind) {
        case TPropKind::Integer:
            if (V < INT32_MIN || V > INT32_MAX)
                Refuse(Prefix + P.Name, Obj.ClassName(),
                       IntToStr(V) + " is outside the 32-bit range");
            return;
        case TPropKind::Enumeration:
            // Without names the reader takes the bare ordinal 0 only.
            if (V < 0 || static_cast<unsigned long long>(V) >= std::max<std::size_t>(P.Names.size(), 1))
                Refuse(Prefix + P.Name, Obj.ClassName(),
                       "the ordinal " + IntToStr(V) + " has no name");
            return;
        case TPropKind::Set:
            if (P.Names.size() < 64 && (static_cast<unsigned long long>(V) >> P.Names.size()) != 0)
                Refuse(Prefix + P.Name, Obj.ClassName(), "the set holds elements without a name");
            return;
        default:
            return;
        }
    }

    void WriteOrdinal(const TPropInfo &P, long long V) {
        switch (P.Kind) {
        case TPropKind::Boolean:
            FOut += V ? "True" : "False";
            return;
        case TPropKind::Enumeration:
            if (static_cast<std::size_t>(V) < P.Names.size())
                FOut += P.Names[static_cast<std::size_t>(V)];
            else
                AppendInt(V);
            return;
        case TPropKind::Set: {
            FOut += '[';
            bool first = true;
            for (std::size_t i = 0; i < P.Names.size() && i < 64; ++i) {
                if (!(static_cast<unsigned long long>(V) >> i & 1u))
                    continue;
                if (!first)
                    FOut += ", ";
                first = false;
                FOut += P.Names[i];
            }
            FOut += ']';
            return;
        }
        default:
            AppendInt(V);
        }
    }

    void WriteCollection(const TCollection &C, int Level) {
        if (C.Count() == 0) {
            FOut += "<>";
            return;
        }
        if (FDepth >= 32)
            throw EStreamError("Collections nested too deeply");
        ++FDepth;
        FOut += "<\r\n";
        for (int i = 0; i < C.Count(); ++i) {
            Indent(Level + 1);
            FOut += "item\r\n";
            WriteProperties(*C.GetItem(i), Level + 2, std::string());
            Indent(Level + 1);
            FOut += "end";
            if (i + 1 < C.Count())
                FOut += "\r\n";
        }
        FOut += '>';
        --FDepth;
    }

    const TComponent &FRoot;
    const TEventBinder *FBinder;
    std::string FOut;
    int FDepth = 0;
};

} // namespace

std::string WriteComponentText(const TComponent &Root, const TEventBinder *Binder) {
    return Writer(Root, Binder).Run();
}

} // namespace vexo
