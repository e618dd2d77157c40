#include "app/window_set.h"

#include "app/main.h"
#include "platform/error_display.h"
#include "playback/equa.h"
#include "playback/rec.h"
#include "playback/strinfo.h"
#include "settings/settings.h"
#include "updates/update.h"
#include "windows/about.h"
#include "windows/chcolor.h"
#include "windows/linkprop.h"
#include "windows/links.h"
#include "windows/plugin.h"
#include "windows/webstream.h"
#include "windows/whatsnew.h"

namespace {

template <typename Form> void create(Form *&reference) {
    platform::RunGuarded([&reference] { reference = new Form; });
}

template <typename Form> void destroy(Form *&reference) {
    delete reference;
    reference = nullptr;
}

} // namespace

void CreateWindowSet() {
    create(Form1);
    create(Form2);
    create(Form3);
    create(Form4);
    create(Form5);
    create(Form6);
    create(Form7);
    create(Form8);
    create(Form9);
    create(Form10);
    create(Form11);
    create(Form12);
    create(Form13);
    // The captions it changes belong to windows created after the settings.
    if (Form2)
        platform::RunGuarded([] { Form2->ApplyStoredLanguage(); });
}

void DestroyWindowSet() {
    destroy(Form13);
    destroy(Form12);
    destroy(Form11);
    destroy(Form10);
    destroy(Form9);
    destroy(Form8);
    destroy(Form7);
    destroy(Form6);
    destroy(Form5);
    destroy(Form4);
    destroy(Form3);
    destroy(Form2);
    destroy(Form1);
}

QIcon ProgramIcon() {
    // The images are compiled into this static library; register them here,
    // the one place that reads them.
    Q_INIT_RESOURCE(velotune);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/velotune/icons/velotune-%1.png").arg(size),
                     QSize(size, size));
    return icon;
}
