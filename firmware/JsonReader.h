#pragma once
// A strict reader of JSON texts (RFC 8259), for the files a maker publishes
// beside the firmware: nothing it lets through could be read two ways. No
// comments, no trailing commas, no duplicate member names, no lone
// surrogates, only well-formed UTF-8; a byte-order mark at the start is
// passed over, as browsers do.

#include <string>
#include <string_view>
#include <vector>

struct JsonMember;

struct JsonValue {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool boolean = false;
    std::string text;  // a string's characters (UTF-8), or a number as written
    std::vector<JsonValue> items;
    std::vector<JsonMember> members;  // in the order written

    // The member of that name; null when there is none.
    const JsonValue* Find(std::string_view name) const;
};

struct JsonMember {
    std::string name;
    JsonValue value;
};

// Reads `text` into *out; false with a Spanish *error ("línea 3, columna 5:
// ...") where it is not JSON. Values nest at most 32 deep.
bool ReadJson(std::string_view text, JsonValue* out, std::string* error);

// What a kind is called in a message ("un texto", "un número", ...).
const char* JsonKindName(JsonValue::Kind kind);
