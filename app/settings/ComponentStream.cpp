#include "app/settings/ComponentStream.h"

#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace lumatrace {

namespace {

constexpr std::uint8_t kSignature[4] = {'T', 'P', 'F', '0'};
// Deep enough for anything the framework writes (a list inside a collection
// inside a child component), far below what would strain the stack.
constexpr int kMaxDepth = 64;

struct StreamError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

    std::size_t position() const { return pos_; }

    [[noreturn]] void Fail(const std::string& what) const {
        throw StreamError(what + " at offset " + std::to_string(pos_));
    }

    void Need(std::size_t n) const {
        if (data_.size() - pos_ < n) {
            Fail("truncated record");
        }
    }

    std::uint8_t U8() {
        Need(1);
        return data_[pos_++];
    }
    std::uint64_t Little(std::size_t n) {
        Need(n);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            v |= static_cast<std::uint64_t>(data_[pos_ + i]) << (8 * i);
        }
        pos_ += n;
        return v;
    }
    std::string Bytes(std::size_t n) {
        Need(n);
        std::string s(reinterpret_cast<const char*>(data_.data() + pos_), n);
        pos_ += n;
        return s;
    }
    std::uint8_t Peek() const {
        Need(1);
        return data_[pos_];
    }
    std::string ShortString() { return Bytes(U8()); }

    void Signature() {
        Need(4);
        if (std::memcmp(data_.data() + pos_, kSignature, 4) != 0) {
            Fail("missing TPF0 signature");
        }
        pos_ += 4;
    }

    TpfComponent Component(int depth) {
        if (depth > kMaxDepth) {
            Fail("components nested too deeply");
        }
        TpfComponent c;
        if ((Peek() & 0xF0) == 0xF0) {
            c.flags = U8() & 0x0F;
            if ((c.flags & 0x02) != 0) {
                const TpfValue position = Value(depth + 1);
                if (!position.IsInteger() || position.type == TpfValueType::Int64) {
                    Fail("child position is not an integer");
                }
                c.childPosition = position.integer;
            }
        }
        c.className = ShortString();
        c.name = ShortString();
        c.properties = Properties(depth);
        while (Peek() != 0) {
            c.children.push_back(Component(depth + 1));
        }
        ++pos_;
        return c;
    }

    std::vector<TpfProperty> Properties(int depth) {
        std::vector<TpfProperty> props;
        for (;;) {
            std::string name = ShortString();
            if (name.empty()) {
                return props;
            }
            TpfValue value = Value(depth + 1);
            props.push_back({std::move(name), std::move(value)});
        }
    }

    TpfValue Value(int depth) {
        if (depth > kMaxDepth) {
            Fail("values nested too deeply");
        }
        const std::size_t at = pos_;
        const std::uint8_t tag = U8();
        TpfValue v;
        v.type = static_cast<TpfValueType>(tag);
        switch (v.type) {
            case TpfValueType::Null:
                // An end marker is only valid where a list may end; as a value
                // it means the stream is out of step.
                pos_ = at;
                Fail("unexpected end-of-list marker");
            case TpfValueType::List:
                while (Peek() != 0) {
                    v.list.push_back(Value(depth + 1));
                }
                ++pos_;
                break;
            case TpfValueType::Int8:
                v.integer = static_cast<std::int8_t>(Little(1));
                break;
            case TpfValueType::Int16:
                v.integer = static_cast<std::int16_t>(Little(2));
                break;
            case TpfValueType::Int32:
                v.integer = static_cast<std::int32_t>(Little(4));
                break;
            case TpfValueType::Int64:
            case TpfValueType::Currency:
                v.integer = static_cast<std::int64_t>(Little(8));
                break;
            case TpfValueType::Extended: {
                Need(Extended80::kSize);
                v.extended = Extended80::FromBytes(std::span<const std::uint8_t, Extended80::kSize>(
                    data_.data() + pos_, Extended80::kSize));
                pos_ += Extended80::kSize;
                break;
            }
            case TpfValueType::Single:
                v.realBits = Little(4);
                break;
            case TpfValueType::Double:
            case TpfValueType::Date:
                v.realBits = Little(8);
                break;
            case TpfValueType::String:
            case TpfValueType::Ident:
                v.bytes = ShortString();
                break;
            case TpfValueType::LString:
            case TpfValueType::Utf8String:
            case TpfValueType::Binary:
                v.bytes = Bytes(static_cast<std::size_t>(Little(4)));
                break;
            case TpfValueType::WString: {
                const std::uint64_t count = Little(4);
                Need(static_cast<std::size_t>(count) * 2);
                v.wide.resize(static_cast<std::size_t>(count));
                for (std::size_t i = 0; i < count; ++i) {
                    v.wide[i] = static_cast<char16_t>(Little(2));
                }
                break;
            }
            case TpfValueType::False:
            case TpfValueType::True:
            case TpfValueType::Nil:
                break;
            case TpfValueType::Set:
                for (;;) {
                    std::string name = ShortString();
                    if (name.empty()) {
                        break;
                    }
                    v.set.push_back(std::move(name));
                }
                break;
            case TpfValueType::Collection:
                while (Peek() != 0) {
                    TpfCollectionItem item;
                    const std::uint8_t next = Peek();
                    if (next == static_cast<std::uint8_t>(TpfValueType::Int8) ||
                        next == static_cast<std::uint8_t>(TpfValueType::Int16) ||
                        next == static_cast<std::uint8_t>(TpfValueType::Int32)) {
                        item.order = Value(depth + 1).integer;
                    }
                    if (U8() != static_cast<std::uint8_t>(TpfValueType::List)) {
                        --pos_;
                        Fail("collection item does not start with a list");
                    }
                    item.properties = Properties(depth + 1);
                    v.collection.push_back(std::move(item));
                }
                ++pos_;
                break;
            default:
                pos_ = at;
                Fail("unknown value type " + std::to_string(tag));
        }
        return v;
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Writer {
  public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}

    void U8(std::uint8_t v) { out_.push_back(v); }
    void Little(std::uint64_t v, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    void Raw(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }
    void ShortString(std::string_view s) {
        if (s.size() > 255) {
            throw WriteError("name longer than 255 bytes");
        }
        U8(static_cast<std::uint8_t>(s.size()));
        Raw(s);
    }
    void Name(std::string_view s) {
        // An empty name would read back as the end of the list.
        if (s.empty()) {
            throw WriteError("empty name");
        }
        ShortString(s);
    }
    void Long(std::string_view s) {
        if (s.size() > std::numeric_limits<std::uint32_t>::max()) {
            throw WriteError("string too long");
        }
        Little(s.size(), 4);
        Raw(s);
    }

    void Component(const TpfComponent& c, bool child) {
        if ((c.flags & 0xF0) != 0 || c.childPosition.has_value() != ((c.flags & 0x02) != 0)) {
            throw WriteError("inconsistent prefix flags");
        }
        // A class name of 240 bytes or more would start with what reads as a
        // prefix byte, and a child with neither prefix nor class name would
        // read as the end of the children: both need the (empty) prefix.
        const bool prefix =
            c.flags != 0 || c.className.size() >= 0xF0 || (child && c.className.empty());
        if (prefix) {
            U8(static_cast<std::uint8_t>(0xF0 | c.flags));
            if (c.childPosition) {
                Value(TpfValue::Integer(*c.childPosition));
            }
        }
        ShortString(c.className);
        ShortString(c.name);
        Properties(c.properties);
        for (const TpfComponent& each : c.children) {
            Component(each, true);
        }
        U8(0);
    }

    void Properties(const std::vector<TpfProperty>& props) {
        for (const TpfProperty& p : props) {
            Name(p.name);
            Value(p.value);
        }
        U8(0);
    }

    void Value(const TpfValue& v) {
        const auto checkRange = [&](std::int64_t lo, std::int64_t hi) {
            if (v.integer < lo || v.integer > hi) {
                throw WriteError("integer outside its type's range");
            }
        };
        U8(static_cast<std::uint8_t>(v.type));
        switch (v.type) {
            case TpfValueType::Null:
                throw WriteError("end-of-list marker as a value");
            case TpfValueType::List:
                for (const TpfValue& item : v.list) {
                    Value(item);
                }
                U8(0);
                break;
            case TpfValueType::Int8:
                checkRange(INT8_MIN, INT8_MAX);
                Little(static_cast<std::uint64_t>(v.integer), 1);
                break;
            case TpfValueType::Int16:
                checkRange(INT16_MIN, INT16_MAX);
                Little(static_cast<std::uint64_t>(v.integer), 2);
                break;
            case TpfValueType::Int32:
                checkRange(INT32_MIN, INT32_MAX);
                Little(static_cast<std::uint64_t>(v.integer), 4);
                break;
            case TpfValueType::Int64:
            case TpfValueType::Currency:
                Little(static_cast<std::uint64_t>(v.integer), 8);
                break;
            case TpfValueType::Extended: {
                const auto bytes = v.extended.ToBytes();
                out_.insert(out_.end(), bytes.begin(), bytes.end());
                break;
            }
            case TpfValueType::Single:
                Little(v.realBits, 4);
                break;
            case TpfValueType::Double:
            case TpfValueType::Date:
                Little(v.realBits, 8);
                break;
            case TpfValueType::String:
                ShortString(v.bytes);
                break;
            case TpfValueType::Ident:
                ShortString(v.bytes);
                break;
            case TpfValueType::LString:
            case TpfValueType::Utf8String:
            case TpfValueType::Binary:
                Long(v.bytes);
                break;
            case TpfValueType::WString:
                if (v.wide.size() > std::numeric_limits<std::uint32_t>::max() / 2) {
                    throw WriteError("string too long");
                }
                Little(v.wide.size(), 4);
                for (char16_t c : v.wide) {
                    Little(c, 2);
                }
                break;
            case TpfValueType::False:
            case TpfValueType::True:
            case TpfValueType::Nil:
                break;
            case TpfValueType::Set:
                for (const std::string& name : v.set) {
                    Name(name);
                }
                U8(0);
                break;
            case TpfValueType::Collection:
                for (const TpfCollectionItem& item : v.collection) {
                    if (item.order) {
                        const TpfValue order = TpfValue::Integer(*item.order);
                        if (order.type == TpfValueType::Int64) {
                            throw WriteError("collection order outside 32 bits");
                        }
                        Value(order);
                    }
                    U8(static_cast<std::uint8_t>(TpfValueType::List));
                    Properties(item.properties);
                }
                U8(0);
                break;
            default:
                throw WriteError("unknown value type");
        }
    }

  private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace

bool TpfValue::operator==(const TpfValue& o) const {
    if (type != o.type) {
        return false;
    }
    switch (type) {
        case TpfValueType::Int8:
        case TpfValueType::Int16:
        case TpfValueType::Int32:
        case TpfValueType::Int64:
        case TpfValueType::Currency:
            return integer == o.integer;
        case TpfValueType::Single:
        case TpfValueType::Double:
        case TpfValueType::Date:
            return realBits == o.realBits;
        case TpfValueType::Extended:
            return extended == o.extended;
        case TpfValueType::String:
        case TpfValueType::LString:
        case TpfValueType::Ident:
        case TpfValueType::Utf8String:
        case TpfValueType::Binary:
            return bytes == o.bytes;
        case TpfValueType::WString:
            return wide == o.wide;
        case TpfValueType::List:
            return list == o.list;
        case TpfValueType::Set:
            return set == o.set;
        case TpfValueType::Collection:
            return collection == o.collection;
        default:
            return true;
    }
}

TpfValue TpfValue::Integer(std::int64_t v) {
    TpfValue value;
    value.integer = v;
    if (v >= INT8_MIN && v <= INT8_MAX) {
        value.type = TpfValueType::Int8;
    } else if (v >= INT16_MIN && v <= INT16_MAX) {
        value.type = TpfValueType::Int16;
    } else if (v >= INT32_MIN && v <= INT32_MAX) {
        value.type = TpfValueType::Int32;
    } else {
        value.type = TpfValueType::Int64;
    }
    return value;
}

TpfValue TpfValue::Boolean(bool v) {
    TpfValue value;
    value.type = v ? TpfValueType::True : TpfValueType::False;
    return value;
}

TpfValue TpfValue::Identifier(std::string name) {
    TpfValue value;
    value.type = TpfValueType::Ident;
    value.bytes = std::move(name);
    return value;
}

TpfValue TpfValue::AnsiString(std::string bytes) {
    TpfValue value;
    value.type = bytes.size() <= 255 ? TpfValueType::String : TpfValueType::LString;
    value.bytes = std::move(bytes);
    return value;
}

TpfValue TpfValue::WideString(std::u16string text) {
    TpfValue value;
    value.type = TpfValueType::WString;
    value.wide = std::move(text);
    return value;
}

TpfValue TpfValue::ListOf(std::vector<TpfValue> items) {
    TpfValue value;
    value.type = TpfValueType::List;
    value.list = std::move(items);
    return value;
}

bool TpfValue::IsInteger() const {
    return type == TpfValueType::Int8 || type == TpfValueType::Int16 ||
           type == TpfValueType::Int32 || type == TpfValueType::Int64;
}

bool TpfValue::IsString() const {
    return type == TpfValueType::String || type == TpfValueType::LString ||
           type == TpfValueType::WString || type == TpfValueType::Utf8String;
}

double TpfValue::AsDouble() const {
    if (type == TpfValueType::Single) {
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(realBits)));
    }
    if (type == TpfValueType::Double || type == TpfValueType::Date) {
        return std::bit_cast<double>(realBits);
    }
    return 0.0;
}

const TpfProperty* TpfComponent::Find(std::string_view propertyName) const {
    for (auto it = properties.rbegin(); it != properties.rend(); ++it) {
        if (it->name == propertyName) {
            return &*it;
        }
    }
    return nullptr;
}

TpfReadResult ReadTpfRecord(std::span<const std::uint8_t> data) {
    TpfReadResult result;
    Reader reader(data);
    try {
        reader.Signature();
        result.component = reader.Component(0);
        result.consumed = reader.position();
        result.ok = true;
    } catch (const StreamError& e) {
        result.component = {};
        result.error = e.what();
    }
    return result;
}

bool AppendTpfRecord(std::vector<std::uint8_t>& out, const TpfComponent& component) {
    std::vector<std::uint8_t> record(std::begin(kSignature), std::end(kSignature));
    Writer writer(record);
    try {
        writer.Component(component, false);
    } catch (const WriteError&) {
        return false;
    }
    out.insert(out.end(), record.begin(), record.end());
    return true;
}

}  // namespace lumatrace
