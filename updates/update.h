#pragma once

// The update check (unit update): at start it compares the version the
// update server publishes with the running one and, when they differ, lists
// the update, enables Install and announces it with a tray balloon. Install
// lets the browser download that version's installer.
//
// Threads: the window lives on the user-interface thread. The check at start
// fetches on a thread of its own, so a server that never answers does not
// hold up the main window, and hands its findings back to the window's
// thread; Install's fetch blocks the user-interface thread for a bounded
// time (it comes after the check, which has then ended).

#include <chrono>
#include <thread>

#include <QDialog>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/controls.h"
#include "platform/http_client.h"
#include "platform/tray_icon.h"

// The update server's root address unless "[updates] Server=" names another.
inline constexpr char kUpdateServer[] = "http://velotune.example/";
// The whole check at start waits at most this long; Install's fetch, longer.
inline constexpr std::chrono::milliseconds kStartCheckTimeout{3000};
inline constexpr std::chrono::milliseconds kInstallFetchTimeout{10000};

class TForm12 : public QDialog {
    Q_OBJECT

public:
    explicit TForm12(QWidget *parent = nullptr);
    // Waits for a check still running (at most its time-out).
    ~TForm12() override;

    platform::Label *JvLabel1;
    platform::Label *JvLabel2;
    platform::Label *JvLabel3;
    QListWidget *JvCheckListBox1;
    platform::Label *JvLabel4;
    QPlainTextEdit *JvMemo1;
    QPushButton *JvBitBtn1;
    QPushButton *JvBitBtn2;
    platform::TrayIcon *CoolTrayIcon1;
    platform::HttpClient IdHTTP1;

    void JvBitBtn1Click();
    void JvBitBtn2Click();
    void CoolTrayIcon1BalloonHintClick();

    // The update server's root address, with a trailing slash.
    QString ServerRoot() const;
    // Whether the check at start is still under way.
    bool Checking() const { return checker_.joinable(); }

private:
    void FormCreate();
    QByteArray fetchVersion(const QString &root, std::chrono::milliseconds timeout);
    // What the check at start found.
    struct Finding {
        enum { Failed, Current, Update } kind = Failed;
        QByteArray offered; // the version text offered, with Update
    };
    // User-interface thread.
    void checked(const Finding &finding);

    std::thread checker_;
};

// The installer's address for a published version text: the text is
// percent-encoded (all but letters, digits, ".", "-" and "_"), so that text
// from the network cannot change the address's host or form.
QString InstallerAddress(const QString &serverRoot, const QByteArray &version);

extern TForm12 *Form12;
