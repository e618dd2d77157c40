#include "settings/language.h"

#include <functional>
#include <vector>

#include "app/main.h"
#include "playback/rec.h"
#include "settings/settings.h"

namespace settings {

namespace {

struct Caption {
    std::function<void(const QString &)> set;
    const char *english;
    const char *russian; // UTF-8
};

std::vector<Caption> captionTable() {
    const auto text = [](auto *control) {
        return [control](const QString &caption) {
            control->setText(caption);
        };
    };
    const auto title = [](QWidget *window) {
        return [window](const QString &caption) {
            window->setWindowTitle(caption);
        };
    };
    const auto page = [](int index) {
        return [index](const QString &caption) {
            Form2->JvPageControl1->setTabText(index, caption);
        };
    };
    return {
        {text(Form1->JvLabel3), "Add URL:", "URL:"},
        {text(Form1->JvLabel4), "Add Playlist:", "Плейлист:"},
        {text(Form1->JvBitBtn1), "Play", "Играть"},
        {text(Form1->JvBitBtn2), "Stop", "Стоп"},
        {text(Form1->JvBitBtn3), "Pause", "Пауза"},
        {text(Form1->Help1), "Help", "Справка"},
        {text(Form1->Closetotray1), "Close to tray", "Свернуть в трей"},
        {text(Form1->Settings1), "Settings...", "Настройки..."},
        {text(Form1->About1), "About", "О программе"},
        {text(Form1->Whatsnew1), "What's new...", "Что нового..."},
        {text(Form1->Record1), "Record", "Запись"},
        {title(Form2), "Settings", "Настройки"},
        {title(Form3), "Record Radio", "Запись радио"},
        {page(0), "Design", "Интерфейс"},
        {page(1), "Radio", "Радио"},
        {page(2), "Audio", "Аудио"},
        {page(3), "Updates", "Обновления"},
    };
}

} // namespace

void ApplyLanguage(Language language) {
    for (const Caption &caption : captionTable())
        caption.set(
            QString::fromUtf8(language == Language::Russian ? caption.russian : caption.english));
    for (int i = 0; i < 4; ++i)
        Form2->JvSettingsTreeView1->topLevelItem(i)->setText(0, Form2->JvPageControl1->tabText(i));
}

const char *LanguageCode(Language language) {
    return language == Language::Russian ? "RU" : "EN";
}

Language LanguageFromCode(const QString &code) {
    return code == QStringLiteral("RU") ? Language::Russian : Language::English;
}

} // namespace settings
