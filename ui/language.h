#pragma once
// The windows' language: chosen at start (the command line's --lang, the setting, the system's
// locale) and made current before any window is made (application.cpp).
#include <optional>

#include <QString>

namespace quillfen::ui {

// The languages of the windows: the original texts (Korean and English, as the program has
// always written them) or English throughout.
inline constexpr const char* kLanguageOriginal = "original";
inline constexpr const char* kLanguageEnglish = "en";
// The setting that remembers the choice.
inline constexpr const char* kLanguageKey = "ui/language";
// The language to show: `requested` when it names one (the command line's --lang), else the
// one remembered, else the system's: Korean gives the original texts, anything else English.
// An unknown name gives nothing.
std::optional<QString> ChooseLanguage(const QString& requested);
// Makes `language` the windows' language for the rest of the run (before they are made) and
// remembers it. Returns false for an unknown language.
bool UseLanguage(const QString& language);

}  // namespace quillfen::ui
