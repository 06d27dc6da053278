#include "app/output.h"

#include <cctype>
#include <iterator>
#include <vector>

#include "app/ids.h"
#include "app/state.h"
#include "toolkit/control.h"
#include "toolkit/preferences.h"
#include "toolkit/requester.h"

namespace {

constexpr size_t kKilo = 1000, kMega = 1000000;

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
    // Whole numbers only: "1,94 MB" is 194 hundredths of a megabyte, exactly.
    unsigned long long digits = 0, divisor = 1;
    size_t i = 0;
    bool any = false, point = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            any = true;
            digits = digits * 10 + static_cast<unsigned>(c - '0');
            if (point) divisor *= 10;
            if (digits > kOutputMostBytes || divisor > kMega) return false;
        } else if ((c == ',' || c == '.') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) return false;
    const std::string unit = t.substr(i);
    unsigned long long factor = 0;
    if (unit.empty() || unit == "b" || unit == "byte" || unit == "bytes") {
        factor = 1;
    } else if (unit == "k" || unit == "kb") {
        factor = kKilo;
    } else if (unit == "m" || unit == "mb") {
        factor = kMega;
    } else {
        return false;
    }
    const unsigned long long scaled = digits * factor;
    if (scaled % divisor != 0) return false;
    const unsigned long long value = scaled / divisor;
    if (value < 1 || value > kOutputMostBytes) return false;
    bytes = static_cast<size_t>(value);
    return true;
}

std::string BudgetRefusalText(size_t bytes) {
    return "Das Bild passt nicht in " + OutputSizeText(bytes) +
           ", auch nicht verkleinert!\r\rBitte unter \"Ausgabe...\" eine grössere Dateigrösse "
           "wählen.";
}

std::string SaveButtonTip(const OutputSettings& output) {
    std::string tip = "Speichern des aktuellen Bildausschnittes";
    if (output == OutputSettings{}) return tip;
    return tip + "\nDateigrösse höchstens " + OutputSizeText(output.maxBytes) + ", " +
           kOutputSharpenLabel + ": " + kSharpenItems[static_cast<int>(output.sharpen)];
}

void LoadOutputSettings() {
    OutputSettings output;
    const int bytes = PreferenceGet(kOutputSizePreference, 0);
    if (bytes > 0) output.maxBytes = static_cast<size_t>(bytes);
    const int sharpen = PreferenceGet(kOutputSharpenPreference, 0);
    if (sharpen > 0 && sharpen < static_cast<int>(std::size(kSharpenItems)))
        output.sharpen = static_cast<Sharpening>(sharpen);
    g_app.output = output;
    ControlSetTip(kSaveButton, SaveButtonTip(output).c_str());
}

void OutputRequested() {
    std::vector<ChoiceField> fields(2);
    fields[0].label = kOutputSizeLabel;
    // A budget typed before is one of the list's items, in its place.
    const size_t kept = g_app.output.maxBytes;
    bool listed = false;
    for (size_t bytes : kOutputSizeItems) {
        if (!listed && kept > 0 && kept <= bytes) {
            if (kept < bytes) fields[0].items.push_back(OutputSizeText(kept));
            listed = true;
        }
        fields[0].items.push_back(OutputSizeText(bytes));
    }
    if (!listed && kept > 0) fields[0].items.push_back(OutputSizeText(kept));
    fields[0].value = OutputSizeText(g_app.output.maxBytes);
    fields[0].editable = true;
    fields[0].accepts = [](const std::string& text) {
        size_t bytes = 0;
        return ParseOutputSize(text, bytes);
    };
    fields[1].label = kOutputSharpenLabel;
    fields[1].items.assign(std::begin(kSharpenItems), std::end(kSharpenItems));
    fields[1].value = kSharpenItems[static_cast<int>(g_app.output.sharpen)];
    if (!AskChoices(kOutputTitle, fields)) return;

    OutputSettings chosen;
    if (!ParseOutputSize(fields[0].value, chosen.maxBytes)) return;
    for (size_t i = 0; i < std::size(kSharpenItems); ++i)
        if (fields[1].value == kSharpenItems[i]) chosen.sharpen = static_cast<Sharpening>(i);
    g_app.output = chosen;
    (void)PreferenceSet(kOutputSizePreference, static_cast<int>(chosen.maxBytes));
    (void)PreferenceSet(kOutputSharpenPreference, static_cast<int>(chosen.sharpen));
    ControlSetTip(kSaveButton, SaveButtonTip(chosen).c_str());
}
