#include "json_lines.h"

#include <cmath>

namespace tarn::rundata::json {

void Number(Writer& out, double value) {
    if (std::isfinite(value)) out.Double(value);
    else if (std::isnan(value)) out.String("nan", 3);
    else if (value > 0) out.String("inf", 3);
    else out.String("-inf", 4);
}

void Text(Writer& out, std::string_view text) {
    out.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

void Integer(Writer& out, std::int64_t value) { out.Int64(value); }

void Key(Writer& out, std::string_view key) {
    out.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
}

void Texts(Writer& out, std::span<const std::string> texts) {
    out.StartArray();
    for (const std::string& text : texts) Text(out, text);
    out.EndArray();
}

}  // namespace tarn::rundata::json
