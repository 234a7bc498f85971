#include "palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace {

// The relative luminance the shown colours are brought to: a contrast of
// at least 4.5 to 1 against both black and white.
constexpr double kTargetLuminance = 0.18;

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

struct Rgb {
    double red, green, blue;  // 0 to 1
};

double Luminance(const Rgb& rgb) {
    return 0.2126 * Linear(rgb.red) + 0.7152 * Linear(rgb.green) + 0.0722 * Linear(rgb.blue);
}

struct Hsl {
    double hue, saturation, lightness;  // hue in turns
};

Hsl ToHsl(const Rgb& rgb) {
    const double high = std::max({rgb.red, rgb.green, rgb.blue});
    const double low = std::min({rgb.red, rgb.green, rgb.blue});
    Hsl hsl{0, 0, (high + low) / 2};
    const double range = high - low;
    if (range == 0) return hsl;
    hsl.saturation = range / (1 - std::fabs(2 * hsl.lightness - 1));
    double hue = 0;
    if (high == rgb.red) {
        hue = std::fmod((rgb.green - rgb.blue) / range + 6, 6);
    } else if (high == rgb.green) {
        hue = (rgb.blue - rgb.red) / range + 2;
    } else {
        hue = (rgb.red - rgb.green) / range + 4;
    }
    hsl.hue = hue / 6;
    return hsl;
}

Rgb ToRgb(const Hsl& hsl) {
    const double chroma = (1 - std::fabs(2 * hsl.lightness - 1)) * hsl.saturation;
    const double sector = hsl.hue * 6;
    const double second = chroma * (1 - std::fabs(std::fmod(sector, 2) - 1));
    std::array<double, 3> rgb{};
    switch (static_cast<int>(sector) % 6) {
        case 0: rgb = {chroma, second, 0}; break;
        case 1: rgb = {second, chroma, 0}; break;
        case 2: rgb = {0, chroma, second}; break;
        case 3: rgb = {0, second, chroma}; break;
        case 4: rgb = {second, 0, chroma}; break;
        default: rgb = {chroma, 0, second}; break;
    }
    const double base = hsl.lightness - chroma / 2;
    return {rgb[0] + base, rgb[1] + base, rgb[2] + base};
}

std::uint8_t Channel(double value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

}  // namespace

ColourDepth TerminalColourDepth() {
    const char* noColour = std::getenv("NO_COLOR");
    if (noColour != nullptr && noColour[0] != '\0') return ColourDepth::kNone;
    const char* term = std::getenv("TERM");
    if (term != nullptr && std::string_view(term) == "dumb") return ColourDepth::kNone;
    const char* colourTerm = std::getenv("COLORTERM");
    if (colourTerm != nullptr && (std::string_view(colourTerm) == "truecolor" || std::string_view(colourTerm) == "24bit")) {
        return ColourDepth::kTrueColour;
    }
    return ColourDepth::k256;
}

tarnview::Colour ReadableColour(tarnview::Colour colour) {
    const Rgb rgb{colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0};
    Hsl hsl = ToHsl(rgb);
    // Luminance grows with lightness at a fixed hue and saturation.
    double low = 0, high = 1;
    for (int step = 0; step < 30; ++step) {
        hsl.lightness = (low + high) / 2;
        (Luminance(ToRgb(hsl)) < kTargetLuminance ? low : high) = hsl.lightness;
    }
    const Rgb shown = ToRgb(hsl);
    return {Channel(shown.red), Channel(shown.green), Channel(shown.blue)};
}

int Nearest256(tarnview::Colour colour) {
    constexpr std::array<int, 6> kLevels = {0, 95, 135, 175, 215, 255};
    const auto nearestLevel = [&](int value) {
        int best = 0;
        for (int i = 1; i < 6; ++i) {
            if (std::abs(kLevels[i] - value) < std::abs(kLevels[best] - value)) best = i;
        }
        return best;
    };
    const int r = nearestLevel(colour.red), g = nearestLevel(colour.green), b = nearestLevel(colour.blue);
    const auto distance = [&](int red, int green, int blue) {
        return (red - colour.red) * (red - colour.red) + (green - colour.green) * (green - colour.green) +
               (blue - colour.blue) * (blue - colour.blue);
    };
    const int cube = 16 + 36 * r + 6 * g + b;
    const int cubeDistance = distance(kLevels[r], kLevels[g], kLevels[b]);
    // The grey ramp 232 to 255: 8, 18, ..., 238.
    const int average = (colour.red + colour.green + colour.blue) / 3;
    const int grey = std::clamp((average - 3) / 10, 0, 23);
    const int greyLevel = 8 + 10 * grey;
    return distance(greyLevel, greyLevel, greyLevel) < cubeDistance ? 232 + grey : cube;
}

std::string ForegroundEscape(tarnview::Colour colour, ColourDepth depth) {
    const tarnview::Colour shown = ReadableColour(colour);
    switch (depth) {
        case ColourDepth::kTrueColour:
            return "\x1b[38;2;" + std::to_string(shown.red) + ";" + std::to_string(shown.green) + ";" +
                   std::to_string(shown.blue) + "m";
        case ColourDepth::k256: return "\x1b[38;5;" + std::to_string(Nearest256(shown)) + "m";
        case ColourDepth::kNone: break;
    }
    return {};
}
