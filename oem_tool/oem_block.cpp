#include "oem_tool/oem_block.h"

#include <algorithm>
#include <sstream>

#include "oem_tool/little_endian.h"

namespace {

// The walk below trusts the layout table; make sure it describes one contiguous block.
constexpr bool LayoutIsContiguous()
{
    std::size_t expectedOffset = OemMagicSize;
    for (const OemFieldLayout& field : OemFields) {
        if (field.offset != expectedOffset) {
            return false;
        }
        expectedOffset += OemFieldHeaderSize + field.valueSize;
    }
    return expectedOffset == OemBlockSize;
}
static_assert(LayoutIsContiguous(), "OEM field table has gaps, overlaps or a wrong block size");

bool IsFieldTag(const std::uint8_t* bytes)
{
    return bytes[0] == '$' && std::all_of(bytes + 1, bytes + 4, [](std::uint8_t c) { return c >= 'A' && c <= 'Z'; });
}

std::string HexOffset(std::size_t offset)
{
    std::ostringstream text;
    text << "0x" << std::hex << offset;
    return text.str();
}

std::vector<std::size_t> FindMagicOffsets(const std::vector<std::uint8_t>& image)
{
    std::vector<std::size_t> offsets;
    auto position = image.begin();
    while ((position = std::search(position, image.end(), OemMagic, OemMagic + OemMagicSize)) != image.end()) {
        offsets.push_back(static_cast<std::size_t>(position - image.begin()));
        ++position;
    }
    return offsets;
}

bool FieldsMatchLayout(const std::vector<std::uint8_t>& image, std::size_t blockOffset, std::string& error)
{
    const std::string blockName = "OEM block at " + HexOffset(blockOffset);
    std::size_t position = blockOffset + OemMagicSize;
    for (const OemFieldLayout& expected : OemFields) {
        const std::size_t remaining = image.size() - position;
        if (remaining < 4 || !IsFieldTag(&image[position])) {
            error =
                blockName + ": the fields end at " + HexOffset(position) + " where " + expected.tag + " was expected";
            return false;
        }
        const std::string tag(reinterpret_cast<const char*>(&image[position]), 4);
        if (tag != expected.tag) {
            error = blockName + ": found field " + tag + " at " + HexOffset(position) + " where " + expected.tag +
                    " was expected";
            return false;
        }
        if (remaining < OemFieldHeaderSize) {
            error = blockName + ": field " + tag + " is cut off by the end of the file";
            return false;
        }
        const std::uint32_t length = ReadLittleEndian32(&image[position + 4]);
        const std::uint32_t expectedLength = 4 + expected.valueSize;
        if (length != expectedLength) {
            error = blockName + ": field " + tag + " has length " + std::to_string(length) + ", expected " +
                    std::to_string(expectedLength);
            return false;
        }
        if (remaining < OemFieldHeaderSize + expected.valueSize) {
            error = blockName + ": field " + tag + " is cut off by the end of the file";
            return false;
        }
        position += OemFieldHeaderSize + expected.valueSize;
    }
    if (image.size() - position >= 4 && IsFieldTag(&image[position])) {
        error = blockName + ": unexpected field " + std::string(reinterpret_cast<const char*>(&image[position]), 4) +
                " at " + HexOffset(position) + " after the last one";
        return false;
    }
    return true;
}

}  // namespace

bool LocateOemBlock(const std::vector<std::uint8_t>& image, std::size_t& blockOffset, std::string& error)
{
    const std::vector<std::size_t> magics = FindMagicOffsets(image);
    if (magics.empty()) {
        error = std::string("no OEM configuration block (magic \"") + OemMagic + "\" not found)";
        return false;
    }
    if (magics.size() > 1) {
        std::ostringstream message;
        message << "the magic \"" << OemMagic << "\" occurs " << magics.size() << " times (at";
        for (std::size_t offset : magics) {
            message << " " << HexOffset(offset);
        }
        message << "); refusing to guess which block to use";
        error = message.str();
        return false;
    }
    if (!FieldsMatchLayout(image, magics.front(), error)) {
        return false;
    }
    blockOffset = magics.front();
    return true;
}

std::vector<OemFieldValue> ReadOemFields(const std::vector<std::uint8_t>& image, std::size_t blockOffset)
{
    std::vector<OemFieldValue> values;
    for (const OemFieldLayout& layout : OemFields) {
        const std::uint8_t* value = &image[blockOffset + layout.offset + OemFieldHeaderSize];
        OemFieldValue field{layout, {}, 0};
        switch (layout.kind) {
        case OemValueKind::Text:
            field.text.assign(reinterpret_cast<const char*>(value),
                              std::find(value, value + layout.valueSize, 0) - value);
            break;
        case OemValueKind::ClassId: field.text.assign(reinterpret_cast<const char*>(value), layout.valueSize); break;
        case OemValueKind::Number: field.number = ReadLittleEndian32(value); break;
        }
        values.push_back(field);
    }
    return values;
}

const OemFieldLayout* FindOemField(const std::string& tag)
{
    for (const OemFieldLayout& layout : OemFields) {
        if (tag == layout.tag) {
            return &layout;
        }
    }
    return nullptr;
}
