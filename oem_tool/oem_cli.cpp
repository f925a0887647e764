#include "oem_tool/oem_cli.h"

#include <cstdio>
#include <iomanip>
#include <iterator>

#include "driver/core/oem_values.h"
#include "oem_tool/oem_block_file.h"
#include "oem_tool/oem_field_descriptions.h"

namespace {

const char ProgramName[] = "kaskade-oem";

void PrintUsage(std::ostream& stream)
{
    // The usage text is laid out as it prints.
    // clang-format off
    stream << "Usage:\n"
              "  " << ProgramName << " show FILE\n"
              "      Print every field of the OEM configuration block in FILE.\n"
              "  " << ProgramName << " set FILE OPTION VALUE...\n"
              "      Rewrite fields in place; either all given values are written or none.\n"
              "  " << ProgramName << " --help\n"
              "\n"
              "Options of set (also as --option=VALUE):\n";
    for (const OemFieldDescription& description : OemFieldDescriptions) {
        stream << "  --" << std::left << std::setw(16) << description.option << description.tag
               << "  " << description.meaning << "\n";
    }
    stream << "\n"
              "Texts hold at most " << OemTextSize - 1 << " characters. The name is a registry key name: 1 to "
           << LongestKeyName << "\n"
              "printable characters, no \"\\\"; hosts show only its first 31.\n"
              "The class id is written {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}; give every vendor\n"
              "build its own.\n"
              "Numbers are unsigned 32-bit, in decimal or 0x hexadecimal, within what the driver\n"
              "uses: latencies 0-" << LongestExtraLatency << " samples; margins 0-" << LongestLatencyMargin
           << " ms, or 0xFFFFFFFF for the device\n"
              "quirk table's; kernel buffers " << FewestKernelBuffers << "-" << MostKernelBuffers
           << "; buffer size " << SmallestBufferSize << "-" << LargestBufferSize << " samples.\n"
              "The control panel dialog is";
    for (std::size_t i = 0; i < std::size(ControlPanelLayouts); ++i) {
        stream << (i == 0 ? " " : i + 1 == std::size(ControlPanelLayouts) ? " or " : ", ")
               << ControlPanelLayouts[i];
    }
    stream << "; an empty hardware-id pattern\n"
              "matches every audio device.\n";
    // clang-format on
}

int BadUsage(std::ostream& err, const std::string& message)
{
    err << ProgramName << ": " << message << "\n"
        << "Try '" << ProgramName << " --help'.\n";
    return OemCliBadUsage;
}

bool IsHelp(const std::string& argument)
{
    return argument == "--help" || argument == "-h";
}

// Control characters from the file are shown as \xNN so they cannot drive the terminal.
std::string QuotedText(const std::string& text)
{
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

std::string NumberText(const OemFieldValue& field)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(field.number));
    std::string text = std::to_string(field.number) + " (" + hex + ")";
    const bool isMargin = std::string(field.layout.tag) == "$LIM" || std::string(field.layout.tag) == "$LOM";
    if (isMargin && field.number == OemMarginFromQuirkTable) {
        text += ", from the device quirk table";
    }
    if (std::string(field.layout.tag) == "$CPL" && !IsControlPanelLayout(field.number)) {
        text += ", none of the driver's dialogs";
    }
    return text;
}

int Show(const std::string& path, std::ostream& out, std::ostream& err)
{
    std::vector<OemFieldValue> fields;
    std::string error;
    if (!ReadOemFile(path, fields, error)) {
        err << ProgramName << ": " << error << "\n";
        return OemCliRefused;
    }
    // Both lists follow the block order.
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const OemFieldValue& field = fields[i];
        const OemFieldDescription& description = OemFieldDescriptions[i];
        out << description.tag << "  " << std::left << std::setw(40) << description.meaning
            << (field.layout.kind == OemValueKind::Number ? NumberText(field) : QuotedText(field.text))
            << (std::string(field.layout.tag) == "$HID" && field.text.empty() ? ", every audio device matches" : "")
            << "\n";
    }
    return OemCliSuccess;
}

int Set(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    std::string path;
    std::vector<OemEdit> edits;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (IsHelp(argument)) {
            PrintUsage(out);
            return OemCliSuccess;
        }
        if (argument.compare(0, 2, "--") != 0) {
            if (!path.empty()) {
                return BadUsage(err, "set takes one FILE, got '" + path + "' and '" + argument + "'");
            }
            path = argument;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string option = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const OemFieldDescription* description = FindOemFieldByOption(option);
        if (description == nullptr) {
            return BadUsage(err, "unknown option '--" + option + "'");
        }
        if (equals != std::string::npos) {
            edits.push_back({description->tag, argument.substr(equals + 1)});
        } else if (i + 1 < arguments.size()) {
            edits.push_back({description->tag, arguments[++i]});
        } else {
            return BadUsage(err, "option '--" + option + "' needs a value");
        }
    }
    if (path.empty()) {
        return BadUsage(err, "set needs a FILE");
    }
    if (edits.empty()) {
        return BadUsage(err, "set needs at least one option naming a field to change");
    }
    std::string error;
    std::vector<std::string> warnings;
    const bool patched = PatchOemFile(path, edits, error, &warnings);
    for (const std::string& warning : warnings) {
        err << ProgramName << ": warning: " << warning << "\n";
    }
    if (!patched) {
        err << ProgramName << ": " << error << "\n";
        return OemCliRefused;
    }
    out << path << ": set " << edits.size() << (edits.size() == 1 ? " field\n" : " fields\n");
    return OemCliSuccess;
}

}  // namespace

int RunOemCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    if (arguments.empty()) {
        PrintUsage(err);
        return OemCliBadUsage;
    }
    const std::string& command = arguments[0];
    if (IsHelp(command)) {
        PrintUsage(out);
        return OemCliSuccess;
    }
    if (command == "show") {
        if (arguments.size() == 2 && IsHelp(arguments[1])) {
            PrintUsage(out);
            return OemCliSuccess;
        }
        if (arguments.size() != 2) {
            return BadUsage(err, "show takes exactly one FILE");
        }
        return Show(arguments[1], out, err);
    }
    if (command == "set") {
        return Set(arguments, out, err);
    }
    return BadUsage(err, "unknown command '" + command + "'");
}
