#include "oem_tool/tests/oem_test_image.h"

#include <algorithm>
#include <cstring>

const char TestHardwareId[] = "USB\\VID_1234&PID_5678";
const char TestDriverName[] = "Test Driver";
const char TestClassId[] = "{0123ABCD-4567-89ef-ABCD-0123456789AB}";
const std::uint32_t TestNumbers[9] = {16, 32, 0xFFFFFFFFu, 5, 2, 0x21000, 1, 256, 1200};

namespace {

constexpr std::size_t TerminatorSize = 4;
constexpr std::size_t TrailingSize = 0x200;

void AppendNumber(std::vector<std::uint8_t>& bytes, std::uint32_t number)
{
    const std::vector<std::uint8_t> encoded = NumberBytes(number);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
}

void AppendText(std::vector<std::uint8_t>& bytes, const char* text, std::size_t size)
{
    bytes.insert(bytes.end(), text, text + size);
}

}  // namespace

std::vector<std::uint8_t> MakeOemTestImage()
{
    // Bytes around the block that look a little like it, to catch sloppy matching.
    std::vector<std::uint8_t> image(TestBlockOffset, 0xA5);
    image.reserve(TestBlockOffset + OemBlockSize + TerminatorSize + TrailingSize);
    std::memcpy(&image[0x10], "$HID", 4);
    std::memcpy(&image[0x20], "oEmCoNf", 7);

    AppendText(image, OemMagic, OemMagicSize);
    std::size_t numberIndex = 0;
    for (const OemFieldLayout& field : OemFields) {
        AppendText(image, field.tag, 4);
        AppendNumber(image, 4 + field.valueSize);
        if (std::strcmp(field.tag, "$HID") == 0) {
            const std::vector<std::uint8_t> value = TextFieldBytes(TestHardwareId);
            image.insert(image.end(), value.begin(), value.end());
        } else if (std::strcmp(field.tag, "$OEM") == 0) {
            std::vector<std::uint8_t> value = TextFieldBytes(TestDriverName);
            std::fill(value.begin() + sizeof TestDriverName, value.end(), 'x');
            image.insert(image.end(), value.begin(), value.end());
        } else if (field.kind == OemValueKind::ClassId) {
            AppendText(image, TestClassId, OemClassIdSize);
        } else {
            AppendNumber(image, TestNumbers[numberIndex++]);
        }
    }
    image.insert(image.end(), TerminatorSize, 0);
    image.insert(image.end(), TrailingSize, 0x5A);
    return image;
}

std::size_t TestValueOffset(const std::string& tag)
{
    const auto field = std::find_if(std::begin(OemFields), std::end(OemFields),
                                    [&tag](const OemFieldLayout& f) { return tag == f.tag; });
    return TestBlockOffset + field->offset + OemFieldHeaderSize;
}

std::vector<std::uint8_t> TextFieldBytes(const std::string& text)
{
    std::vector<std::uint8_t> bytes(OemTextSize, 0);
    std::copy(text.begin(), text.end(), bytes.begin());
    return bytes;
}

std::vector<std::uint8_t> NumberBytes(std::uint32_t number)
{
    return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
}

std::vector<std::uint8_t> WithValue(std::vector<std::uint8_t> image, const std::string& tag,
                                    const std::vector<std::uint8_t>& value)
{
    std::copy(value.begin(), value.end(), image.begin() + static_cast<std::ptrdiff_t>(TestValueOffset(tag)));
    return image;
}
