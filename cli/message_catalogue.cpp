#include "cli/message_catalogue.h"

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ui/translation.h"

namespace kiroda::cli {

namespace {

constexpr std::uint32_t kMagic = 0x950412DEu;
constexpr std::uint32_t kMagicSwapped = 0xDE120495u;

std::uint32_t word_at(std::span<const unsigned char> image, std::size_t at, bool big_endian) {
    const unsigned char* b = image.data() + at;
    if (big_endian) {
        return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
               b[3];
    }
    return std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 | b[0];
}

// The string of table entry `index` (length, offset), checked to lie in the
// image and to end with the NUL that msgfmt writes after every string.
bool string_at(std::span<const unsigned char> image, std::uint32_t table, std::uint32_t index,
               bool big_endian, std::string_view* text) {
    const std::uint64_t entry = std::uint64_t{table} + std::uint64_t{index} * 8;
    if (entry + 8 > image.size()) return false;
    const std::uint32_t length = word_at(image, static_cast<std::size_t>(entry), big_endian);
    const std::uint32_t offset = word_at(image, static_cast<std::size_t>(entry) + 4, big_endian);
    if (std::uint64_t{offset} + length + 1 > image.size() || image[offset + length] != 0)
        return false;
    *text = std::string_view(reinterpret_cast<const char*>(image.data() + offset), length);
    return true;
}

message_catalogue g_english;

const char* english(const char* japanese) {
    return g_english.find(japanese);
}

}  // namespace

bool message_catalogue::load(std::span<const unsigned char> image) {
    entries_.clear();
    if (image.size() < 20) return false;
    bool big_endian = false;
    const std::uint32_t magic = word_at(image, 0, false);
    if (magic == kMagicSwapped) {
        big_endian = true;
    } else if (magic != kMagic) {
        return false;
    }
    if (word_at(image, 4, big_endian) >> 16 != 0) return false;  // major revision 0 only
    const std::uint32_t count = word_at(image, 8, big_endian);
    const std::uint32_t originals = word_at(image, 12, big_endian);
    const std::uint32_t translations = word_at(image, 16, big_endian);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view original;
        std::string_view translated;
        if (!string_at(image, originals, i, big_endian, &original) ||
            !string_at(image, translations, i, big_endian, &translated)) {
            entries_.clear();
            return false;
        }
        // The header entry (empty original) and plural forms are not
        // texts of ours: plural originals hold a NUL, and we have none.
        if (original.empty() || translated.empty() || original.find('\0') != std::string_view::npos)
            continue;
        entries_.emplace(original, translated.data());
    }
    return true;
}

const char* message_catalogue::find(std::string_view original) const {
    const auto it = entries_.find(original);
    return it == entries_.end() ? nullptr : it->second;
}

bool locale_is_japanese(const char* lc_all, const char* lc_messages, const char* lang) {
    for (const char* value : {lc_all, lc_messages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        return std::strncmp(value, "ja", 2) == 0 &&
               (value[2] == '\0' || value[2] == '_' || value[2] == '.' || value[2] == '@');
    }
    return false;
}

void use_english(bool english_wanted) {
    if (!english_wanted) {
        set_translation(nullptr);
        return;
    }
    if (g_english.size() == 0) g_english.load(english_catalogue_image());
    set_translation(&english);
}

void use_language_of_environment() {
    const bool japanese =
        locale_is_japanese(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    if (japanese) {
        // The system's own reasons (strerror) in Japanese too, where the
        // C library has them; the codeset follows the terminal's locale.
        std::setlocale(LC_CTYPE, "");
        std::setlocale(LC_MESSAGES, "");
    }
    use_english(!japanese);
}

}  // namespace kiroda::cli
