#pragma once

// The interface language: the captions of the main, settings and recording
// windows that have a Russian form. User-interface thread only; the windows
// Form1, Form2 and Form3 must exist.

#include <QString>

namespace settings {

enum class Language { English, Russian };

// Sets every caption of the table to its form in `language`, in the table's
// order, then the first four tree nodes of the settings window to the
// captions of its first four pages.
void ApplyLanguage(Language language);

// The text stored under "lang"/"langnow" for a language, and back.
const char *LanguageCode(Language language);
Language LanguageFromCode(const QString &code);

} // namespace settings
