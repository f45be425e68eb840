// The form framework's binary component stream: a record starts with the
// signature "TPF0", then one component (class name, component name, a list of
// typed property values, a list of child components). Every value type of the
// stream is read and written here, so records from any generation of the
// program can be walked and skipped property by property.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings/Extended80.h"

namespace lumatrace {

enum class TpfValueType : std::uint8_t {
    Null = 0,  // end of a list
    List = 1,
    Int8 = 2,
    Int16 = 3,
    Int32 = 4,
    Extended = 5,
    String = 6,  // short string: length byte, ANSI characters
    Ident = 7,
    False = 8,
    True = 9,
    Binary = 10,   // 32-bit length
    Set = 11,      // identifiers up to an empty one
    LString = 12,  // 32-bit length, ANSI characters
    Nil = 13,
    Collection = 14,
    Single = 15,
    Currency = 16,  // 64-bit integer, value x 10000
    Date = 17,      // double
    WString = 18,   // 32-bit count of UTF-16 units
    Int64 = 19,
    Utf8String = 20,  // 32-bit byte count
    Double = 21,
};

struct TpfProperty;
struct TpfCollectionItem;

// One typed value. Only the members of its type are meaningful.
struct TpfValue {
    TpfValueType type = TpfValueType::Null;
    std::int64_t integer = 0;      // Int8..Int64; Currency as stored (x 10000)
    std::uint64_t realBits = 0;    // Single (low 32 bits), Double, Date: the IEEE bits
    Extended80 extended;           // Extended
    std::string bytes;             // String/LString (ANSI bytes as stored), Ident,
                                   // Utf8String, Binary
    std::u16string wide;           // WString
    std::vector<TpfValue> list;    // List
    std::vector<std::string> set;  // Set: the identifiers
    std::vector<TpfCollectionItem> collection;

    bool operator==(const TpfValue&) const;

    // Builders choosing the form the framework itself writes.
    static TpfValue Integer(std::int64_t v);  // smallest of Int8/16/32/64
    static TpfValue Boolean(bool v);
    static TpfValue Identifier(std::string name);
    static TpfValue AnsiString(std::string bytes);  // String, or LString beyond 255 bytes
    static TpfValue WideString(std::u16string text);
    static TpfValue ListOf(std::vector<TpfValue> items);

    bool IsInteger() const;
    bool IsString() const;    // String, LString, WString or Utf8String
    double AsDouble() const;  // Single, Double or Date
};

struct TpfProperty {
    std::string name;  // may be dotted: "Font.Color", "Items.Strings"
    TpfValue value;

    bool operator==(const TpfProperty&) const = default;
};

struct TpfCollectionItem {
    std::optional<std::int64_t> order;  // the optional index written before an item
    std::vector<TpfProperty> properties;

    bool operator==(const TpfCollectionItem&) const = default;
};

struct TpfComponent {
    // Prefix flags: 1 inherited, 2 child position present, 4 inline.
    std::uint8_t flags = 0;
    std::optional<std::int64_t> childPosition;
    std::string className;
    std::string name;
    std::vector<TpfProperty> properties;
    std::vector<TpfComponent> children;

    bool operator==(const TpfComponent&) const = default;

    // The last property of that name (the one a reader ends up with), or null.
    const TpfProperty* Find(std::string_view propertyName) const;
};

struct TpfReadResult {
    bool ok = false;
    TpfComponent component;
    std::size_t consumed = 0;  // bytes of the record, signature included
    std::string error;         // what was wrong and at which offset
};

// Reads one record ("TPF0" and a component) from the start of `data`.
// Nesting of lists, collections and children is limited so hostile input
// cannot exhaust the stack; lengths are checked against the bytes present
// before anything is allocated.
TpfReadResult ReadTpfRecord(std::span<const std::uint8_t> data);

// Appends one record. Fails (returns false, leaving `out` as it was) when a
// name or value cannot be represented: names longer than 255 bytes, integers
// outside their type's range, empty property names or set members (they would
// read back as end markers).
bool AppendTpfRecord(std::vector<std::uint8_t>& out, const TpfComponent& component);

}  // namespace lumatrace
