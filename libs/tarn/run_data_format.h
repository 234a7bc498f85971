// The run-data format as data: every object's members and every array's
// elements, what kind of value each must be, and what is done with it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tarn {

class RunBuilder;

// What a value must be.
enum class Kind : std::uint8_t {
    Text, Number, Integer, Bool, BoolOrInteger, TextOrNumber, Object, Array
};

// A value as it reaches its store action: the member that fits its kind is
// set.  A number keeps its text (option values are kept as written); true
// and false are also 1 and 0 as an integer.
struct Value {
    static Value Of(std::string_view text, double number = 0, std::int64_t integer = 0,
                    bool flag = false) {
        Value value;
        value.text = text;
        value.number = number;
        value.integer = integer;
        value.flag = flag;
        return value;
    }

    std::string_view text;
    double number = 0;
    std::int64_t integer = 0;
    bool flag = false;
    std::string_view optionName;
};

// Actions report a problem through the builder (RunBuilder::Fail).
using StoreAction = void (*)(RunBuilder&, const Value&);
using ContainerAction = void (*)(RunBuilder&);

struct Container;

struct Field {
    std::string_view name;  // empty for array elements
    Kind kind;
    bool required = false;
    std::int64_t min = 0, max = 0;       // Integer and BoolOrInteger
    const Container* content = nullptr;  // Object and Array
    StoreAction store = nullptr;         // the other kinds
};

enum class Shape : std::uint8_t {
    Members,   // an object of the named fields
    Options,   // an object of any names, each value as fields[0]
    Elements,  // an array, each element as fields[0]
    Tuple      // an array of exactly fields.size() elements, by position
};

struct Container {
    Shape shape;
    std::span<const Field> fields;
    std::string_view tupleElements = {};  // Tuple: what its elements are called
    ContainerAction open = nullptr;       // when the container begins
    ContainerAction close = nullptr;      // when it has ended, after its checks
};

// The top level of a run-data file.
const Container& RunDataFormat();

}  // namespace tarn
