#include "capture/KeyCodeName.h"

#include <array>
#include <utility>

namespace {

using Entry = std::pair<quint32, char>;

constexpr std::array<Entry, 26> kLetters{{{0, 'A'},  {11, 'B'}, {8, 'C'},  {2, 'D'},  {14, 'E'}, {3, 'F'},  {5, 'G'},
                                          {4, 'H'},  {34, 'I'}, {38, 'J'}, {40, 'K'}, {37, 'L'}, {46, 'M'}, {45, 'N'},
                                          {31, 'O'}, {35, 'P'}, {12, 'Q'}, {15, 'R'}, {1, 'S'},  {17, 'T'}, {32, 'U'},
                                          {9, 'V'},  {13, 'W'}, {7, 'X'},  {16, 'Y'}, {6, 'Z'}}};

constexpr std::array<Entry, 10> kDigits{
    {{29, '0'}, {18, '1'}, {19, '2'}, {20, '3'}, {21, '4'}, {23, '5'}, {22, '6'}, {26, '7'}, {28, '8'}, {25, '9'}}};

template <std::size_t N>
std::optional<char> lookUp(const std::array<Entry, N>& table, quint32 code)
{
    for (const Entry& e : table)
        if (e.first == code) return e.second;
    return std::nullopt;
}

std::optional<QString> ansiLetter(quint32 code)
{
    if (const auto c = lookUp(kLetters, code)) return QString(QChar(*c));
    return std::nullopt;
}

std::optional<QString> ansiDigit(quint32 code)
{
    if (const auto c = lookUp(kDigits, code)) return QString(QChar(*c));
    return std::nullopt;
}

// Keys other than letters and digits, with their X keysyms.
constexpr std::array<std::pair<quint32, quint32>, 38> kOtherKeysyms{{
    {36, 0xff0d},  {48, 0xff09},  {49, 0x0020},  {50, 0x0060},  {53, 0xff1b},  {51, 0xff08},  {117, 0xffff},
    {24, 0x003d},  {27, 0x002d},  {30, 0x005d},  {33, 0x005b},  {39, 0x0027},  {41, 0x003b},  {42, 0x005c},
    {43, 0x002c},  {44, 0x002f},  {47, 0x002e},  {115, 0xff50}, {119, 0xff57}, {116, 0xff55}, {121, 0xff56},
    {123, 0xff51}, {124, 0xff53}, {125, 0xff54}, {126, 0xff52}, {122, 0xffbe}, {120, 0xffbf}, {99, 0xffc0},
    {118, 0xffc1}, {96, 0xffc2},  {97, 0xffc3},  {98, 0xffc4},  {100, 0xffc5}, {101, 0xffc6}, {109, 0xffc7},
    {103, 0xffc8}, {111, 0xffc9}, {76, 0xff8d},
}};

}  // namespace

QString KeyCodeName::string(quint32 keyCode)
{
    switch (keyCode) {
        case 36:
            return QStringLiteral("Return");
        case 48:
            return QStringLiteral("Tab");
        case 49:
            return QStringLiteral("Space");
        case 50:
            return QStringLiteral("`");
        case 53:
            return QStringLiteral("Escape");
        default:
            break;
    }
    if (auto letter = ansiLetter(keyCode)) return *letter;
    if (auto digit = ansiDigit(keyCode)) return *digit;
    return QStringLiteral("key") + QString::number(keyCode);
}

std::optional<quint32> KeyCodeName::keysym(quint32 keyCode)
{
    // Lower-case letters: the keysym of the unshifted key, which is how X names the key to grab.
    if (const auto c = lookUp(kLetters, keyCode)) return quint32(*c - 'A' + 'a');
    if (const auto c = lookUp(kDigits, keyCode)) return quint32(*c);
    for (const auto& [code, sym] : kOtherKeysyms)
        if (code == keyCode) return sym;
    return std::nullopt;
}
