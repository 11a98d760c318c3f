//===- StreamReader.cpp - component text into published properties -------===//
//
// This file implements ReadComponentText: a hand-written lexer and a
// recursive-descent parser that set properties as they are read, in one pass
// and without intermediate trees. Every refusal is an EParserError (the text
// is malformed) or an EReadError (a property that does not exist, a value of
// the wrong kind, a failing setter), and names the line. Nesting is limited so
// that no input can exhaust the stack.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/Streaming.h>

#include <cfloat>
#include <charconv>
#include <cmath>

namespace vexo {
namespace {

constexpr int MaxDepth = 32; // collections inside collections, dotted segments

enum class Tok { End, Ident, String, Integer, Float, Symbol };

struct Token {
    Tok Kind = Tok::End;
    int Line = 1;
    std::string_view Text; // identifier, number or symbol as written
    std::string Str;       // decoded string
    long long Int = 0;
    double Flt = 0;
};

bool IsIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string LinePrefix(int Line) { return "Line " + std::to_string(Line) + ": "; }

[[noreturn]] void ParseError(int Line, const std::string &What) {
    throw EParserError(LinePrefix(Line) + What);
}
[[noreturn]] void ReadError(int Line, const std::string &What) {
    throw EReadError(LinePrefix(Line) + What);
}

void AppendUtf8(std::string &Out, unsigned long Code) {
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Code >> 18));
        Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}

class Lexer {
  public:
    explicit Lexer(std::string_view Text) : FText(Text) {}

    /// Reads the next token into T (its string buffer is reused).
    void Next(Token &T) {
        SkipBlanks();
        T.Line = FLine;
        T.Str.clear();
        if (FPos >= FText.size()) {
            T.Kind = Tok::End;
            T.Text = {};
            return;
        }
        const char c = FText[FPos];
        if (IsIdentStart(c))
            return Ident(T);
        if (c == '\'' || c == '#')
            return String(T);
        if (IsDigit(c) || c == '$' ||
            ((c == '-' || c == '+') && FPos + 1 < FText.size() &&
             (IsDigit(FText[FPos + 1]) || FText[FPos + 1] == '$' || FText[FPos + 1] == '.')))
            return Number(T);
        if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) >= 0x7F)
            ParseError(FLine, "invalid character #" +
                                  std::to_string(static_cast<unsigned char>(c)));
        T.Kind = Tok::Symbol;
        T.Text = FText.substr(FPos, 1);
        ++FPos;
    }

  private:
    // The scanning loops work on local copies of the position: a member would
    // be written back before every character read, which may alias it.
    void SkipBlanks() {
        const char *Text = FText.data();
        const std::size_t Size = FText.size();
        std::size_t Pos = FPos;
        int Line = FLine;
        for (; Pos < Size; ++Pos) {
            const char c = Text[Pos];
            if (c == ' ' || c == '\t' || c == '\f' || c == '\v')
                continue;
            if (c == '\n')
                ++Line;
            else if (c == '\r') {
                if (Pos + 1 >= Size || Text[Pos + 1] != '\n')
                    ++Line; // a lone CR ends a line too
            } else
                break;
        }
        FPos = Pos;
        FLine = Line;
    }

    void Ident(Token &T) {
        const char *Text = FText.data();
        const std::size_t Size = FText.size();
        const std::size_t Start = FPos;
        std::size_t Pos = FPos;
        for (;;) {
            while (Pos < Size && IsIdentChar(Text[Pos]))
                ++Pos;
            // Dotted names: "OPCGroupDefault.UpdateRate".
            if (Pos + 1 < Size && Text[Pos] == '.' && IsIdentStart(Text[Pos + 1])) {
                ++Pos;
                continue;
            }
            break;
        }
        FPos = Pos;
        T.Kind = Tok::Ident;
        T.Text = FText.substr(Start, Pos - Start);
    }

    void Number(Token &T) {
        const std::size_t start = FPos;
        bool neg = false;
        if (FText[FPos] == '-' || FText[FPos] == '+') {
            neg = FText[FPos] == '-';
            ++FPos;
        }
        if (FPos < FText.size() && FText[FPos] == '$') {
            ++FPos;
            const std::size_t digits = FPos;
            while (FPos < FText.size() && IsHexDigit(FText[FPos]))
                ++FPos;
            unsigned long long u = 0;
            auto res = std::from_chars(FText.data() + digits, FText.data() + FPos, u, 16);
            if (FPos == digits || res.ec != std::errc() || FPos - digits > 16)
                ParseError(FLine, "invalid number '" + std::string(FText.substr(start, FPos - start)) + "'");
            T.Kind = Tok::Integer;
            // $FFFFFFFF is -1 for a 32-bit property, as the framework writes it.
            long long v = u <= 0xFFFFFFFFull ? static_cast<long long>(static_cast<std::int32_t>(u))
                                             : static_cast<long long>(u);
            if (u <= 0xFFFFFFFFull && u > 0x7FFFFFFFull && FPos - digits > 8)
                v = static_cast<long long>(u); // more than eight digits: a 64-bit value
            T.Int = neg ? -v : v;
            T.Text = FText.substr(start, FPos - start);
            CheckNumberEnd(T);
            return;
        }
        const std::size_t digits = FPos;
        while (FPos < FText.size() && IsDigit(FText[FPos]))
            ++FPos;
        bool isFloat = false;
        if (FPos < FText.size() && FText[FPos] == '.') {
            isFloat = true;
            ++FPos;
            while (FPos < FText.size() && IsDigit(FText[FPos]))
                ++FPos;
        }
        if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
            isFloat = true;
            ++FPos;
            if (FPos < FText.size() && (FText[FPos] == '+' || FText[FPos] == '-'))
                ++FPos;
            while (FPos < FText.size() && IsDigit(FText[FPos]))
                ++FPos;
        }
        T.Text = FText.substr(start, FPos - start);
        const std::string_view body = FText.substr(digits, FPos - digits);
        if (isFloat) {
            double v = 0;
            auto res = std::from_chars(body.data(), body.data() + body.size(), v);
            if (res.ec != std::errc() || res.ptr != body.data() + body.size())
                ParseError(FLine, "invalid number '" + std::string(T.Text) + "'");
            T.Kind = Tok::Float;
            T.Flt = neg ? -v : v;
        } else {
            unsigned long long u = 0;
            auto res = std::from_chars(body.data(), body.data() + body.size(), u);
            if (body.empty() || res.ec != std::errc() ||
                u > 0x7FFFFFFFFFFFFFFFull + (neg ? 1u : 0u))
                ParseError(FLine, "invalid number '" + std::string(T.Text) + "'");
            T.Kind = Tok::Integer;
            T.Int = neg ? static_cast<long long>(0 - u) : static_cast<long long>(u);
        }
        CheckNumberEnd(T);
    }

    void CheckNumberEnd(const Token &T) {
        if (FPos < FText.size() && (IsIdentChar(FText[FPos]) || FText[FPos] == '.'))
            ParseError(FLine, "invalid number '" + std::string(T.Text) +
                                  std::string(1, FText[FPos]) + "'");
    }

    /// 'quoted' parts and #nn codes, adjacent, into T.Str.
    void String(Token &T) {
        T.Kind = Tok::String;
        const std::size_t start = FPos;
        while (FPos < FText.size()) {
            const char c = FText[FPos];
            if (c == '\'') {
                ++FPos;
                const char *Text = FText.data();
                const std::size_t Size = FText.size();
                for (;;) {
                    // The characters up to the next quote are taken as one run.
                    std::size_t End = FPos;
                    while (End < Size && Text[End] != '\'' && Text[End] != '\n' && Text[End] != '\r')
                        ++End;
                    T.Str.append(Text + FPos, End - FPos);
                    FPos = End;
                    if (FPos >= Size || Text[FPos] != '\'')
                        ParseError(FLine, "unterminated string");
                    ++FPos;
                    if (FPos < Size && Text[FPos] == '\'') { // a doubled quote stands for one
                        T.Str += '\'';
                        ++FPos;
                        continue;
                    }
                    break;
                }
            } else if (c == '#') {
                ++FPos;
                unsigned long code = 0;
                const std::size_t digits = FPos;
                int base = 10;
                if (FPos < FText.size() && FText[FPos] == '$') {
                    base = 16;
                    ++FPos;
                }
                const std::size_t from = FPos;
                while (FPos < FText.size() &&
                       (base == 16 ? IsHexDigit(FText[FPos]) : IsDigit(FText[FPos])) &&
                       FPos - from < 8)
                    ++FPos;
                auto res = std::from_chars(FText.data() + from, FText.data() + FPos, code, base);
                if (FPos == from || res.ec != std::errc() || code > 0x10FFFF ||
                    (code >= 0xD800 && code <= 0xDFFF))
                    ParseError(FLine, "invalid character code '" +
                                          std::string(FText.substr(digits - 1, FPos - digits + 1)) +
                                          "'");
                AppendUtf8(T.Str, code);
            } else {
                break;
            }
        }
        T.Text = FText.substr(start, FPos - start);
    }

    std::string_view FText;
    std::size_t FPos = 0;
    int FLine = 1;
};

class Reader {
  public:
    Reader(std::string_view Text, TComponent &Root, TEventBinder *Binder)
        : FLex(Text), FRoot(Root), FBinder(Binder) {}

    void Run() {
        Advance();
        if (FTok.Kind != Tok::Ident ||
            !(SameText(FTok.Text, "object") || SameText(FTok.Text, "inherited") ||
              SameText(FTok.Text, "inline")))
            ParseError(FTok.Line, "'object' expected");
        Advance();
        if (FTok.Kind != Tok::Ident || FTok.Text.find('.') != std::string_view::npos)
            ParseError(FTok.Line, "component name expected");
        std::string_view className = FTok.Text;
        const int classLine = FTok.Line;
        Advance();
        if (FTok.Kind == Tok::Symbol && FTok.Text == ":") {
            Advance();
            if (FTok.Kind != Tok::Ident || FTok.Text.find('.') != std::string_view::npos)
                ParseError(FTok.Line, "class name expected");
            className = FTok.Text;
            Advance();
        }
        if (!SameText(className, FRoot.ClassName()))
            ReadError(classLine, "class '" + std::string(className) + "' does not match " +
                                     FRoot.ClassName());
        ReadProperties(FRoot, 0);
        if (FTok.Kind != Tok::End)
            ParseError(FTok.Line, "end of text expected");
    }

  private:
    void Advance() { FLex.Next(FTok); }

    bool IsWord(std::string_view Word) const {
        return FTok.Kind == Tok::Ident && FTok.Text.size() == Word.size() &&
               SameText(FTok.Text, Word);
    }

    /// Property lines from the current token up to and including the closing 'end'.
    void ReadProperties(TPersistent &Obj, int Depth) {
        for (;;) {
            if (IsWord("end")) {
                Advance();
                return;
            }
            if (FTok.Kind == Tok::End)
                ParseError(FTok.Line, "'end' expected");
            if (IsWord("object") || IsWord("inherited") || IsWord("inline"))
                ReadError(FTok.Line, "nested objects are not supported");
            if (FTok.Kind != Tok::Ident)
                ParseError(FTok.Line, "property name expected");
            ReadProperty(Obj, Depth);
        }
    }

    /// One "Name = value" line; leaves the token after the value in FTok.
    void ReadProperty(TPersistent &Obj, int Depth) {
        const int line = FTok.Line;
        std::string_view path = FTok.Text;
        TPersistent *target = &Obj;
        int segments = 0;
        // Walk the dotted prefix through sub-objects.
        for (std::size_t dot = path.find('.'); dot != std::string_view::npos;
             dot = path.find('.')) {
            if (++segments > MaxDepth)
                ReadError(line, "property name nested too deeply");
            const std::string_view seg = path.substr(0, dot);
            const TPropInfo *p = FindProp(*target, seg, line);
            TPersistent *sub = p->Kind == TPropKind::Class ? p->GetObject(*target) : nullptr;
            if (!sub)
                ReadError(line, "property '" + std::string(seg) + "' of " + target->ClassName() +
                                    " is not an object");
            target = sub;
            path.remove_prefix(dot + 1);
        }
        Advance();
        if (FTok.Kind != Tok::Symbol || FTok.Text != "=")
            ParseError(FTok.Line, "'=' expected");
        Advance();
        const PropertyTable *table = target->GetPropertyTable();
        const TPropInfo *p = table ? table->Find(path) : nullptr;
        if (!p) {
            // Tag is every component's own property, written before the table's.
            if (auto *comp = dynamic_cast<TComponent *>(target); comp && SameText(path, "Tag")) {
                const long long v = ExpectInteger(path, line);
                if (v < INT32_MIN || v > INT32_MAX)
                    ReadError(line, "value out of range for property 'Tag'");
                comp->SetTag(static_cast<long>(v));
                Advance();
                return;
            }
            ReadError(line, "property '" + std::string(path) + "' does not exist in " +
                                target->ClassName());
        }
        ReadValue(*target, *p, line, Depth);
    }

    const TPropInfo *FindProp(TPersistent &Obj, std::string_view Name, int Line) {
        const PropertyTable *table = Obj.GetPropertyTable();
        const TPropInfo *p = table ? table->Find(Name) : nullptr;
        if (!p)
            ReadError(Line, "property '" + std::string(Name) + "' does not exist in " +
                                Obj.ClassName());
        return p;
    }

    [[noreturn]] void WrongValue(const TPropInfo &P, const char *Expected) {
        ReadError(FTok.Line, "invalid value for property '" + P.Name + "' (" + Expected +
                                 " expected)");
    }

    long long ExpectInteger(std::string_view Name, int Line) {
        if (FTok.Kind != Tok::Integer)
            ReadError(Line, "invalid value for property '" + std::string(Name) +
                                "' (integer expected)");
        return FTok.Int;
    }

    /// Runs a setter; its own failures become a read error naming the line.
    template <class F> void Apply(const TPropInfo &P, int Line, F &&Setter) {
        try {
            Setter();
        } catch (const EParserError &) {
            throw;
        } catch (const EReadError &) {
            throw;
        } catch (const std::exception &e) {
            ReadError(Line, "cannot set property '" + P.Name + "': " + e.what());
        }
    }

    void ReadValue(TPersistent &Obj, const TPropInfo &P, int Line, int Depth) {
        if (!P.IsReadWrite())
            ReadError(Line, "property '" + P.Name + "' of " + Obj.ClassName() + " is read-only");
        switch (P.Kind) {
        case TPropKind::Boolean: {
            bool v = false;
            if (IsWord("True"))
                v = true;
            else if (!IsWord("False"))
                WrongValue(P, "True or False");
            Apply(P, Line, [&] { P.SetOrd(Obj, v ? 1 : 0); });
            break;
        }
        case TPropKind::Integer:
        case TPropKind::Int64: {
            if (FTok.Kind != Tok::Integer)
                WrongValue(P, "integer");
            const long long v = FTok.Int;
            if (P.Kind == TPropKind::Integer && (v < INT32_MIN || v > INT32_MAX))
                ReadError(FTok.Line, "value out of range for property '" + P.Name + "'");
            Apply(P, Line, [&] { P.SetOrd(Obj, v); });
            break;
        }
        case TPropKind::Float: {
            double v = 0;
            if (FTok.Kind == Tok::Float)
                v = FTok.Flt;
            else if (FTok.Kind == Tok::Integer)
                v = static_cast<double>(FTok.Int);
            else
                WrongValue(P, "number");
            // A single takes every number that rounds to a finite single, the
            // written FLT_MAX included (its shortest text reads as a bit more).
            constexpr double SingleOverflow = 0x1.ffffffp+127;
            if (!std::isfinite(v) || (P.IsSingle && std::fabs(v) >= SingleOverflow))
                ReadError(FTok.Line, "value out of range for property '" + P.Name + "'");
            Apply(P, Line, [&] { P.SetFloat(Obj, v); });
            break;
        }
        case TPropKind::String:
            ReadString(P);
            Apply(P, Line, [&] { P.SetStr(Obj, FString); });
            return; // ReadString has advanced
        case TPropKind::Enumeration: {
            long long v = -1;
            if (FTok.Kind == Tok::Integer)
                v = FTok.Int;
            else if (FTok.Kind == Tok::Ident)
                v = IndexOfName(P, FTok.Text);
            else
                WrongValue(P, "enumeration name");
            if (v < 0 || v >= static_cast<long long>(std::max<std::size_t>(P.Names.size(), 1)))
                ReadError(FTok.Line, "'" + std::string(FTok.Text) +
                                         "' is not a valid value for property '" + P.Name + "'");
            Apply(P, Line, [&] { P.SetOrd(Obj, v); });
            break;
        }
        case TPropKind::Set: {
            const long long v = ReadSet(P);
            Apply(P, Line, [&] { P.SetOrd(Obj, v); });
            break;
        }
        case TPropKind::Class:
            ReadError(Line, "property '" + P.Name + "' is an object: set its properties as '" +
                                P.Name + ".Name = value'");
        case TPropKind::Collection:
            ReadCollection(Obj, P, Depth);
            break;
        case TPropKind::Event:
            ReadEvent(Obj, P, Line);
            break;
        case TPropKind::Component: {
            if (FTok.Kind != Tok::Ident || FTok.Text.find('.') != std::string_view::npos)
                WrongValue(P, "component name");
            TComponent *c = SameText(FTok.Text, "nil") ? nullptr : FindComponent(FTok.Text);
            if (!c && !SameText(FTok.Text, "nil"))
                ReadError(FTok.Line, "component '" + std::string(FTok.Text) + "' not found");
            Apply(P, Line, [&] { P.SetComponent(Obj, c); });
            break;
        }
        case TPropKind::Variant:
            ReadError(Line, "property '" + P.Name + "' of " + Obj.ClassName() + " is read-only");
        }
        Advance();
    }

    static long long IndexOfName(const TPropInfo &P, std::string_view Name) {
        for (std::size_t i = 0; i < P.Names.size(); ++i)
            if (SameText(P.Names[i], Name))
                return static_cast<long long>(i);
        return -1;
    }

    /// A string with its "+" continuations into FString; leaves the next token.
    void ReadString(const TPropInfo &P) {
        if (FTok.Kind != Tok::String)
            WrongValue(P, "string");
        FString.assign(FTok.Str); // keeps both buffers: no allocation per string
        for (;;) {
            Advance();
            if (FTok.Kind != Tok::Symbol || FTok.Text != "+")
                return;
            Advance();
            if (FTok.Kind != Tok::String)
                ParseError(FTok.Line, "string expected after '+'");
            FString += FTok.Str;
        }
    }

    long long ReadSet(const TPropInfo &P) {
        if (FTok.Kind != Tok::Symbol || FTok.Text != "[")
            WrongValue(P, "set");
        unsigned long long mask = 0;
        Advance();
        if (FTok.Kind == Tok::Symbol && FTok.Text == "]")
            return 0;
        for (;;) {
            if (FTok.Kind != Tok::Ident)
                ParseError(FTok.Line, "set element name expected");
            const long long i = IndexOfName(P, FTok.Text);
            if (i < 0 || i >= 64)
                ReadError(FTok.Line, "'" + std::string(FTok.Text) +
                                         "' is not a valid element of property '" + P.Name + "'");
            mask |= 1ull << i;
            Advance();
            if (FTok.Kind == Tok::Symbol && FTok.Text == "]")
                return static_cast<long long>(mask);
            if (FTok.Kind != Tok::Symbol || FTok.Text != ",")
                ParseError(FTok.Line, "',' or ']' expected");
            Advance();
        }
    }

    void ReadCollection(TPersistent &Obj, const TPropInfo &P, int Depth) {
        if (FTok.Kind != Tok::Symbol || FTok.Text != "<")
            WrongValue(P, "'<'");
        if (Depth + 1 > MaxDepth)
            ReadError(FTok.Line, "collections nested too deeply");
        TCollection *c = P.GetCollection(Obj);
        if (!c)
            ReadError(FTok.Line, "property '" + P.Name + "' has no collection");
        const int line = FTok.Line;
        c->BeginUpdate();
        struct EndUpdateGuard {
            TCollection *C;
            ~EndUpdateGuard() {
                try {
                    C->EndUpdate();
                } catch (...) {
                    // a failing change notification must not hide the read error
                }
            }
        } guard{c};
        // The text lists the whole collection: what was there goes first.
        Apply(P, line, [&] { c->Clear(); });
        Advance();
        for (;;) {
            if (FTok.Kind == Tok::Symbol && FTok.Text == ">")
                return;
            if (!IsWord("item"))
                ParseError(FTok.Line, "'item' or '>' expected");
            TCollectionItem *item = nullptr;
            Apply(P, FTok.Line, [&] { item = c->Add(); });
            if (!item)
                ReadError(FTok.Line, "collection '" + P.Name + "' created no item");
            Advance();
            ReadProperties(*item, Depth + 1);
        }
    }

    void ReadEvent(TPersistent &Obj, const TPropInfo &P, int Line) {
        if (FTok.Kind != Tok::Ident || FTok.Text.find('.') != std::string_view::npos)
            WrongValue(P, "event handler name");
        if (!FBinder)
            return; // no handlers to bind: the event stays as it is
        std::string canonical;
        const std::any *h = FBinder->Find(FTok.Text, &canonical);
        if (!h)
            ReadError(FTok.Line, "event handler '" + std::string(FTok.Text) + "' is not registered");
        bool fits = false;
        Apply(P, Line, [&] { fits = P.SetEvent(Obj, *h); });
        if (!fits)
            ReadError(FTok.Line, "event handler '" + canonical + "' does not fit property '" +
                                     P.Name + "'");
        FBinder->SetHandlerName(&Obj, P.Name, canonical);
    }

    TComponent *FindComponent(std::string_view Name) {
        if (SameText(FRoot.Name(), Name))
            return &FRoot;
        return FindOwned(FRoot, Name, 0);
    }

    static TComponent *FindOwned(const TComponent &Owner, std::string_view Name, int Depth) {
        if (Depth > MaxDepth)
            return nullptr;
        for (int i = 0; i < Owner.ComponentCount(); ++i) {
            TComponent *c = Owner.Components(i);
            if (SameText(c->Name(), Name))
                return c;
            if (TComponent *d = FindOwned(*c, Name, Depth + 1))
                return d;
        }
        return nullptr;
    }

    Lexer FLex;
    Token FTok;
    std::string FString;
    TComponent &FRoot;
    TEventBinder *FBinder;
};

} // namespace

void ReadComponentText(std::string_view Text, TComponent &Root, TEventBinder *Binder) {
    Root.BeginLoading();
    try {
        Reader(Text, Root, Binder).Run();
    } catch (const EParserError &) {
        Root.CancelLoading();
        throw;
    } catch (const EReadError &) {
        Root.CancelLoading();
        throw;
    } catch (const std::exception &e) {
        // Anything else (out of memory, a getter that failed) is still a
        // refusal to read, reported as such.
        Root.CancelLoading();
        throw EReadError(std::string("Cannot read component text: ") + e.what());
    } catch (...) {
        Root.CancelLoading();
        throw EReadError("Cannot read component text");
    }
    Root.EndLoading();
}

} // namespace vexo
