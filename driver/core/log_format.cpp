#include "driver/core/log_format.h"

#include <cstdint>

namespace {

class Output {
public:
    Output(char* out, std::size_t size) : out_(out), capacity_(size - 1) {}
    void Put(char c)
    {
        if (length_ < capacity_) out_[length_++] = c;
    }
    void Repeat(char c, int count)
    {
        for (int i = 0; i < count; ++i) Put(c);
    }
    std::size_t Finish()
    {
        out_[length_] = '\0';
        return length_;
    }

private:
    char* out_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

struct FieldFormat {
    bool left = false;
    bool zero = false;
    int width = 0;
    int precision = -1;
};

// Places `text` of `length` characters in the field; `sign` goes before any zero padding.
void PutField(Output& out, const FieldFormat& field, const char* sign, const char* text, int length)
{
    int signLength = sign[0] ? 1 : 0;
    int padding = field.width - length - signLength;
    if (!field.left && !field.zero) out.Repeat(' ', padding);
    if (signLength) out.Put(sign[0]);
    if (!field.left && field.zero) out.Repeat('0', padding);
    for (int i = 0; i < length; ++i) out.Put(text[i]);
    if (field.left) out.Repeat(' ', padding);
}

// Digits of `value` in `base`, most significant first, into `digits`; returns their count.
int Digits(std::uint64_t value, unsigned base, bool upper, char* digits)
{
    const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[24];
    int count = 0;
    do {
        reversed[count++] = symbols[value % base];
        value /= base;
    } while (value != 0);
    for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    return count;
}

void PutInteger(Output& out, const FieldFormat& field, bool negative, std::uint64_t magnitude, unsigned base,
                bool upper)
{
    char digits[24];
    int count = Digits(magnitude, base, upper, digits);
    PutField(out, field, negative ? "-" : "", digits, count);
}

// Fixed-point notation; values beyond 2^64 and non-numbers are shown as words.
void PutFloat(Output& out, const FieldFormat& field, double value)
{
    int precision = field.precision < 0 ? 6 : field.precision > 9 ? 9 : field.precision;
    if (value != value) return PutField(out, field, "", "nan", 3);
    bool negative = value < 0;
    if (negative) value = -value;
    if (value >= 1.8e19) return PutField(out, field, negative ? "-" : "", "inf", 3);
    std::uint64_t scale = 1;
    for (int i = 0; i < precision; ++i) scale *= 10;
    auto whole = std::uint64_t(value);
    auto fraction = std::uint64_t((value - double(whole)) * double(scale) + 0.5);
    if (fraction >= scale) {
        ++whole;
        fraction -= scale;
    }
    char text[48];
    int length = Digits(whole, 10, false, text);
    if (precision > 0) {
        text[length++] = '.';
        char digits[24];
        int count = Digits(fraction, 10, false, digits);
        for (int i = count; i < precision; ++i) text[length++] = '0';
        for (int i = 0; i < count; ++i) text[length++] = digits[i];
    }
    PutField(out, field, negative ? "-" : "", text, length);
}

}  // namespace

std::size_t FormatLine(char* out, std::size_t size, const char* format, std::va_list args)
{
    Output output(out, size);
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            output.Put(*p);
            continue;
        }
        const char* start = p++;
        FieldFormat field;
        for (;; ++p) {
            if (*p == '-')
                field.left = true;
            else if (*p == '0')
                field.zero = true;
            else
                break;
        }
        for (; *p >= '0' && *p <= '9'; ++p) field.width = field.width * 10 + (*p - '0');
        if (*p == '.') {
            field.precision = 0;
            for (++p; *p >= '0' && *p <= '9'; ++p) field.precision = field.precision * 10 + (*p - '0');
        }
        int longs = 0;
        bool sizeType = false;
        for (; *p == 'l' || *p == 'z'; ++p) (*p == 'z' ? sizeType = true : ++longs);
        auto takeSigned = [&]() -> std::int64_t {
            if (sizeType) return std::int64_t(va_arg(args, std::ptrdiff_t));
            if (longs >= 2) return va_arg(args, long long);
            if (longs == 1) return va_arg(args, long);
            return va_arg(args, int);
        };
        auto takeUnsigned = [&]() -> std::uint64_t {
            if (sizeType) return va_arg(args, std::size_t);
            if (longs >= 2) return va_arg(args, unsigned long long);
            if (longs == 1) return va_arg(args, unsigned long);
            return va_arg(args, unsigned);
        };
        switch (*p) {
        case '%': output.Put('%'); break;
        case 'c': {
            char c = char(va_arg(args, int));
            PutField(output, field, "", &c, 1);
            break;
        }
        case 's': {
            const char* text = va_arg(args, const char*);
            if (text == nullptr) text = "(null)";
            int length = 0;
            while (text[length] != '\0' && (field.precision < 0 || length < field.precision)) ++length;
            PutField(output, field, "", text, length);
            break;
        }
        case 'd':
        case 'i': {
            std::int64_t value = takeSigned();
            PutInteger(output, field, value < 0, value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value), 10,
                       false);
            break;
        }
        case 'u': PutInteger(output, field, false, takeUnsigned(), 10, false); break;
        case 'x':
        case 'X': PutInteger(output, field, false, takeUnsigned(), 16, *p == 'X'); break;
        case 'p': {
            FieldFormat pointer = {false, true, int(2 * sizeof(void*)), -1};
            output.Put('0');
            output.Put('x');
            PutInteger(output, pointer, false, std::uintptr_t(va_arg(args, void*)), 16, false);
            break;
        }
        case 'f': PutFloat(output, field, va_arg(args, double)); break;
        default:
            // Unknown or cut short: the text stands as written.
            for (const char* q = start; q <= p && *q != '\0'; ++q) output.Put(*q);
            if (*p == '\0') --p;
            break;
        }
    }
    return output.Finish();
}
