#include "app/output.h"

#include <cctype>
#include <cmath>

namespace {

constexpr size_t kKilo = 1000, kMega = 1000000;
constexpr double kMostBytes = 1e12;

// `value` over `unit` with up to two decimals and a decimal comma, trailing zeros dropped.
std::string Decimal(size_t value, size_t unit) {
    const size_t hundredths = (value * 100 + unit / 2) / unit;
    std::string text = std::to_string(hundredths / 100);
    const size_t rest = hundredths % 100;
    if (rest != 0) {
        text += ',';
        text += static_cast<char>('0' + rest / 10);
        if (rest % 10 != 0) text += static_cast<char>('0' + rest % 10);
    }
    return text;
}

}  // namespace

std::string OutputSizeText(size_t bytes) {
    if (bytes == 0) return "unbegrenzt";
    if (bytes >= kMega && bytes % (kMega / 100) == 0) return Decimal(bytes, kMega) + " MB";
    if (bytes >= kKilo && bytes % (kKilo / 100) == 0) return Decimal(bytes, kKilo) + " KB";
    return std::to_string(bytes) + " Bytes";
}

bool ParseOutputSize(const std::string& text, size_t& bytes) {
    std::string t;
    for (char c : text)
        if (c != ' ') t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (t == "unbegrenzt") {
        bytes = 0;
        return true;
    }
    size_t i = 0;
    double whole = 0, scale = 1;
    bool digits = false, point = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            digits = true;
            if (point) scale /= 10;
            whole = whole * 10 + (c - '0');
            if (whole > kMostBytes * 100) return false;
        } else if ((c == ',' || c == '.') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return false;
    const std::string unit = t.substr(i);
    double factor = 0;
    if (unit.empty() || unit == "b" || unit == "bytes" || unit == "byte") {
        factor = 1;
    } else if (unit == "k" || unit == "kb") {
        factor = kKilo;
    } else if (unit == "m" || unit == "mb") {
        factor = kMega;
    } else {
        return false;
    }
    const double value = whole * scale * factor;
    if (value < 1 || value > kMostBytes || value != std::floor(value)) return false;
    bytes = static_cast<size_t>(value);
    return true;
}

std::string BudgetRefusalText(size_t bytes) {
    return "Das Bild passt nicht in " + OutputSizeText(bytes) +
           ", auch nicht verkleinert!\r\rBitte unter \"Ausgabe...\" eine grössere Dateigrösse "
           "wählen.";
}
