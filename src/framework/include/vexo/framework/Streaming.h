//===- Streaming.h - published properties and component text -------------===//
//
// This file defines the published-property tables that persistent classes
// declare (PropertyTable, built with PropertyTable::Builder<T>), the event
// binder that names event handlers in text, and the writer and reader of the
// framework's textual component form:
//
//   object VexoServer1: TVexoServer
//     BatchMode = False
//     OPCGroups = <
//       item
//         Name = 'Group 1'
//         DeadBand = 0.5
//       end>
//     OPCGroupDefault.UpdateRate = 1000
//     Filter = 'a'#13#10'b'
//     AccessRights = [opcReadable, opcWritable]
//   end
//
// Writing rules: a property is written when it has a getter and a setter, is
// stored, and differs from its default: ordinals (Boolean, integers,
// enumerations, sets) from the declared default (always written without one),
// strings when not empty, floats when not 0, events when assigned. Class
// properties (sub-objects) are written as dotted lines, collections always.
//
// Events: an assigned event is written as `OnConnect = ServerConnect`. The
// name is the one the handler was bound under when it was read through a
// TEventBinder (the binder remembers it); otherwise the root's name followed
// by the event name without "On" ("VexoServer1Connect"). Reading resolves the
// name in the binder passed to the reader; without a binder, event lines are
// checked for form and skipped, so a file saved with handlers loads without
// them.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <any>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <vexo/framework/Classes.h>
#include <vexo/framework/Collections.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/framework/Variants.h>

namespace vexo {

enum class TPropKind {
    Boolean,
    Integer, ///< 32-bit signed
    Int64,
    Float, ///< single or double (see TPropInfo::IsSingle)
    String,
    Enumeration, ///< written by name; ordinal 0..Names.size()-1
    Set,         ///< bit i set = element Names[i]
    Class,       ///< a nested TPersistent, written as dotted lines
    Collection,  ///< a TCollection, written as < item ... end >
    Event,       ///< a std::function member, written by handler name
    Variant,     ///< read-only value (never written)
    Component,   ///< a reference to another component, written by its name
};

/// One published property. Accessors are type-erased over TPersistent; an
/// empty setter means read-only.
struct TPropInfo {
    std::string Name;
    TPropKind Kind = TPropKind::Integer;
    bool IsSingle = false;            ///< Float: single precision
    std::optional<long long> Default; ///< ordinal default; none: always written
    std::vector<std::string> Names;   ///< Enumeration / Set element names
    std::function<bool(const TPersistent &)> Stored; ///< empty: stored

    std::function<long long(const TPersistent &)> GetOrd;
    std::function<void(TPersistent &, long long)> SetOrd;
    std::function<double(const TPersistent &)> GetFloat;
    std::function<void(TPersistent &, double)> SetFloat;
    std::function<std::string(const TPersistent &)> GetStr;
    std::function<void(TPersistent &, const std::string &)> SetStr;
    std::function<TPersistent *(const TPersistent &)> GetObject;     ///< Class
    std::function<TCollection *(const TPersistent &)> GetCollection; ///< Collection
    std::function<bool(const TPersistent &)> EventAssigned;
    /// Assigns a bound handler; false when its type does not fit.
    std::function<bool(TPersistent &, const std::any &)> SetEvent;
    std::function<OleVariant(const TPersistent &)> GetVariant;
    std::function<TComponent *(const TPersistent &)> GetComponent;
    std::function<void(TPersistent &, TComponent *)> SetComponent;

    /// True when the value can be both read and set (Class and Collection
    /// properties are filled in place and count as settable).
    bool IsReadWrite() const;
};

/// The published properties of one class, in declaration order, after those
/// of its base class's table. Immutable once built; share one static
/// instance per class.
class PropertyTable {
  public:
    template <class T> class Builder;

    PropertyTable() = default;
    PropertyTable(const PropertyTable *Base, std::vector<TPropInfo> Props)
        : FBase(Base), FProps(std::move(Props)) {}

    const PropertyTable *Base() const { return FBase; }
    /// This class's own entries (without the base's).
    const std::vector<TPropInfo> &OwnProperties() const { return FProps; }
    /// Every entry, base first, in declaration order.
    std::vector<const TPropInfo *> Properties() const;
    /// Case-insensitive look-up, own entries before the base's; nullptr when absent.
    const TPropInfo *Find(std::string_view Name) const;

  private:
    const PropertyTable *FBase = nullptr;
    std::vector<TPropInfo> FProps;
};

namespace detail {

template <class S> struct SetterArg {
    using type = void;
};
template <class C, class R, class A> struct SetterArg<R (C::*)(A)> {
    using type = std::remove_cvref_t<A>;
};
template <class C, class R, class A> struct SetterArg<R (C::*)(A) noexcept> {
    using type = std::remove_cvref_t<A>;
};

/// Reads a value through a member function, a data member or a callable.
template <class T, class G> decltype(auto) Get(const G &Getter, const TPersistent &O) {
    return std::invoke(Getter, static_cast<const T &>(O));
}

/// Stores V through a setter member function, a data member or a callable,
/// converting to the setter's own parameter type (enums, narrower integers).
template <class T, class S, class V> void Set(const S &Setter, TPersistent &O, V &&Value) {
    T &obj = static_cast<T &>(O);
    if constexpr (std::is_member_object_pointer_v<S>) {
        using Field = std::remove_cvref_t<decltype(obj.*Setter)>;
        obj.*Setter = static_cast<Field>(Value);
    } else if constexpr (std::is_member_function_pointer_v<S>) {
        using Arg = typename SetterArg<S>::type;
        (obj.*Setter)(static_cast<Arg>(Value));
    } else {
        std::invoke(Setter, obj, std::forward<V>(Value));
    }
}

} // namespace detail

/// Declares a class's table entry by entry:
///   static const PropertyTable Table = PropertyTable::Builder<TVexoGroup>()
///       .String("Name", &TVexoGroup::Name, &TVexoGroup::SetName)
///       .Boolean("IsActive", &TVexoGroup::IsActive, &TVexoGroup::SetIsActive)
///       .Float("DeadBand", &TVexoGroup::DeadBand, &TVexoGroup::SetDeadBand, true)
///       .Class("DefaultItem", [](const TVexoGroup &g) { return g.DefaultItem(); })
///       .Collection("OPCItems", [](const TVexoGroup &g) { return g.OPCItems(); })
///       .Build();
/// Getters and setters may be member functions, data members or callables;
/// pass nullptr as setter for a read-only property. Defaults are ordinals.
template <class T> class PropertyTable::Builder {
  public:
    explicit Builder(const PropertyTable *Base = nullptr) : FBase(Base) {}

    template <class G, class S>
    Builder &Boolean(std::string Name, G Get, S Set, std::optional<bool> Default = std::nullopt) {
        TPropInfo &p = Ordinal(std::move(Name), TPropKind::Boolean, Get, Set);
        if (Default)
            p.Default = *Default ? 1 : 0;
        return *this;
    }
    template <class G, class S>
    Builder &Integer(std::string Name, G Get, S Set,
                     std::optional<long long> Default = std::nullopt) {
        Ordinal(std::move(Name), TPropKind::Integer, Get, Set).Default = Default;
        return *this;
    }
    template <class G, class S>
    Builder &Int64(std::string Name, G Get, S Set,
                   std::optional<long long> Default = std::nullopt) {
        Ordinal(std::move(Name), TPropKind::Int64, Get, Set).Default = Default;
        return *this;
    }
    /// Names[i] is the name of ordinal i.
    template <class G, class S>
    Builder &Enumeration(std::string Name, G Get, S Set, std::vector<std::string> Names,
                         std::optional<long long> Default = std::nullopt) {
        TPropInfo &p = Ordinal(std::move(Name), TPropKind::Enumeration, Get, Set);
        p.Names = std::move(Names);
        p.Default = Default;
        return *this;
    }
    /// The value is a bit mask: bit i stands for element Names[i].
    template <class G, class S>
    Builder &Set(std::string Name, G Get, S Set, std::vector<std::string> Names,
                 std::optional<long long> Default = std::nullopt) {
        TPropInfo &p = Ordinal(std::move(Name), TPropKind::Set, Get, Set);
        p.Names = std::move(Names);
        p.Default = Default;
        return *this;
    }
    template <class G, class S> Builder &Float(std::string Name, G Get, S Set, bool Single) {
        TPropInfo &p = Add(std::move(Name), TPropKind::Float);
        p.IsSingle = Single;
        p.GetFloat = [Get](const TPersistent &o) {
            return static_cast<double>(detail::Get<T>(Get, o));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetFloat = [Set](TPersistent &o, double v) { detail::Set<T>(Set, o, v); };
        return *this;
    }
    template <class G, class S> Builder &String(std::string Name, G Get, S Set) {
        TPropInfo &p = Add(std::move(Name), TPropKind::String);
        p.GetStr = [Get](const TPersistent &o) { return std::string(detail::Get<T>(Get, o)); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetStr = [Set](TPersistent &o, const std::string &v) {
                if constexpr (std::is_member_object_pointer_v<S>)
                    static_cast<T &>(o).*Set = v;
                else
                    std::invoke(Set, static_cast<T &>(o), v);
            };
        return *this;
    }
    /// A sub-object; Get returns a pointer or a reference to it.
    template <class G> Builder &Class(std::string Name, G Get) {
        TPropInfo &p = Add(std::move(Name), TPropKind::Class);
        // The reader fills sub-objects of objects it holds non-const.
        p.GetObject = [Get](const TPersistent &o) -> TPersistent * {
            return const_cast<TPersistent *>(
                static_cast<const TPersistent *>(AsPointer(detail::Get<T>(Get, o))));
        };
        return *this;
    }
    /// A collection; Get returns a pointer or a reference to it.
    template <class G> Builder &Collection(std::string Name, G Get) {
        TPropInfo &p = Add(std::move(Name), TPropKind::Collection);
        p.GetCollection = [Get](const TPersistent &o) -> TCollection * {
            return const_cast<TCollection *>(
                static_cast<const TCollection *>(AsPointer(detail::Get<T>(Get, o))));
        };
        return *this;
    }
    /// An event: Member is the std::function data member holding the handler.
    template <class F> Builder &Event(std::string Name, F T::*Member) {
        TPropInfo &p = Add(std::move(Name), TPropKind::Event);
        p.EventAssigned = [Member](const TPersistent &o) {
            return static_cast<bool>(static_cast<const T &>(o).*Member);
        };
        p.SetEvent = [Member](TPersistent &o, const std::any &h) {
            const F *f = std::any_cast<F>(&h);
            if (!f)
                return false;
            static_cast<T &>(o).*Member = *f;
            return true;
        };
        return *this;
    }
    /// A read-only variant value (listed for inspection, never streamed).
    template <class G> Builder &Variant(std::string Name, G Get) {
        TPropInfo &p = Add(std::move(Name), TPropKind::Variant);
        p.GetVariant = [Get](const TPersistent &o) { return OleVariant(detail::Get<T>(Get, o)); };
        return *this;
    }
    /// A reference to another component, written by its name and resolved
    /// among the root and the components it owns when read.
    template <class G, class S> Builder &Component(std::string Name, G Get, S Set) {
        TPropInfo &p = Add(std::move(Name), TPropKind::Component);
        p.GetComponent = [Get](const TPersistent &o) -> TComponent * {
            return detail::Get<T>(Get, o);
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetComponent = [Set](TPersistent &o, TComponent *c) { detail::Set<T>(Set, o, c); };
        return *this;
    }
    /// Marks the last entry as not stored (never written).
    Builder &NotStored() {
        FProps.back().Stored = [](const TPersistent &) { return false; };
        return *this;
    }
    /// Makes storing the last entry depend on the object.
    Builder &StoredIf(std::function<bool(const T &)> Pred) {
        FProps.back().Stored = [Pred = std::move(Pred)](const TPersistent &o) {
            return Pred(static_cast<const T &>(o));
        };
        return *this;
    }

    PropertyTable Build() { return PropertyTable(FBase, std::move(FProps)); }

  private:
    template <class P> static auto *AsPointer(P &&Value) {
        if constexpr (std::is_pointer_v<std::remove_cvref_t<P>>)
            return Value;
        else
            return &Value;
    }
    TPropInfo &Add(std::string Name, TPropKind Kind) {
        TPropInfo &p = FProps.emplace_back();
        p.Name = std::move(Name);
        p.Kind = Kind;
        return p;
    }
    template <class G, class S> TPropInfo &Ordinal(std::string Name, TPropKind Kind, G Get, S Set) {
        TPropInfo &p = Add(std::move(Name), Kind);
        p.GetOrd = [Get](const TPersistent &o) {
            return static_cast<long long>(detail::Get<T>(Get, o));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetOrd = [Set](TPersistent &o, long long v) { detail::Set<T>(Set, o, v); };
        return p;
    }

    const PropertyTable *FBase;
    std::vector<TPropInfo> FProps;
};

/// Named event handlers for reading component text, and the names of the
/// handlers it assigned, for writing them back. Owner thread only.
class TEventBinder {
  public:
    /// Registers Handler under Name (case-insensitive); its type must be the
    /// event member's type (the std::function the property holds).
    template <class F> void Register(const std::string &Name, F Handler) {
        FHandlers[LowerCase(Name)] = Entry{Name, std::any(std::move(Handler))};
    }
    /// The registered handler, or nullptr; CanonicalName receives its spelling.
    const std::any *Find(std::string_view Name, std::string *CanonicalName = nullptr) const;
    /// Remembers that Obj's event Prop holds the handler called Name.
    void SetHandlerName(const TPersistent *Obj, const std::string &Prop, std::string Name);
    /// The remembered handler name, or "".
    std::string HandlerName(const TPersistent *Obj, const std::string &Prop) const;
    /// Forgets the remembered names of Obj (call when it is freed).
    void Forget(const TPersistent *Obj);

  private:
    struct Entry {
        std::string Name;
        std::any Handler;
    };
    std::map<std::string, Entry> FHandlers;
    std::map<std::pair<const TPersistent *, std::string>, std::string> FAssigned;
};

/// Writes Root and its published properties as component text (lines end
/// with "\r\n"). Binder, when given, supplies the names of assigned events.
std::string WriteComponentText(const TComponent &Root, const TEventBinder *Binder = nullptr);

/// Reads component text into Root. Root is in the loading state while its
/// properties are set; collections the text lists are cleared and refilled;
/// Loaded runs only after a successful read (on a failure the properties read
/// so far keep their values and Loaded is not called). Raises EParserError
/// for malformed text and EReadError for an unknown property or a value of
/// the wrong kind, each naming the line; exceptions from Loaded pass through.
void ReadComponentText(std::string_view Text, TComponent &Root, TEventBinder *Binder = nullptr);

} // namespace vexo
