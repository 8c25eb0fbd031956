// A compiled gettext catalogue (.mo) and krdtool's choice of language.
//
// The English catalogue is built from po/en.po by msgfmt and linked into
// krdtool, so the program speaks English even when it was copied alone onto
// a rescue medium. Lookups are by the Japanese text, byte for byte.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <unordered_map>

namespace kiroda::cli {

class message_catalogue {
  public:
    // Reads the tables of a .mo image (either byte order). False, and an
    // empty catalogue, when the image is not a whole catalogue. The image
    // must outlive the catalogue: lookups return pointers into it.
    bool load(std::span<const unsigned char> image);

    // The translation of `original`, or null when there is none (or it is
    // empty, which msgfmt writes for an untranslated fuzzy entry).
    const char* find(std::string_view original) const;

    std::size_t size() const { return entries_.size(); }

  private:
    std::unordered_map<std::string_view, const char*> entries_;
};

// The catalogue linked into krdtool (English).
std::span<const unsigned char> english_catalogue_image();

// True when the locale that decides the messages is Japanese: the first of
// LC_ALL, LC_MESSAGES, LANG that is set and not empty names a "ja" locale.
bool locale_is_japanese(const char* lc_all, const char* lc_messages, const char* lang);

// Chooses krdtool's language from the environment: Japanese under a
// Japanese locale, English otherwise. Call once, before any thread starts.
void use_language_of_environment();

// For tests: English (true) or Japanese (false) regardless of the locale.
void use_english(bool english);

}  // namespace kiroda::cli
