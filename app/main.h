#pragma once

// The player's main window (unit main): the playback controls, the status
// labels and spectrum refreshed once a second, the main menu from which every
// other window is opened modally, and the tray icon. Closing it ends the
// program. User-interface thread only.

#include <array>
#include <optional>

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QWidget>

#include "desktop/desktop_link.h"
#include "platform/controls.h"
#include "platform/ini_file.h"
#include "platform/tray_icon.h"
#include "playback/stream_player.h"
#include "playback/visualizer.h"

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);

    // Draws the spectrum into PaintBox1: `spectrum` holds at least 128 values.
    void Visualize(const float *spectrum, int x_px, int y_px);

    // Sets the window's outer height as the settings file stores it (title bar
    // and borders of the designed frame included).
    void SetOuterHeight(int outer_px);

    // The format whose item carries the check mark.
    playback::StreamFormat MarkedFormat() const;

    // The settings-file object of this window, open for the whole run.
    std::optional<platform::IniFile> MainIni;

    platform::Label *JvLabel1;
    platform::Label *JvLabel2;
    platform::Label *JvLabel6;
    platform::PaintBox *PaintBox1;
    platform::Label *JvLabel3;
    QLineEdit *JvEdit1;
    QComboBox *JvComboBox1;
    platform::Label *JvLabel4;
    platform::FileNameEdit *JvFilenameEdit1;
    platform::Label *VolPerLbl;
    QSlider *JvTrackBar1;
    platform::Label *DateTimeLbl;
    platform::Label *SecLbl;
    platform::Label *JvLabel5;
    platform::Label *JvLinkLabel1;
    QPushButton *JvBitBtn1;
    QPushButton *JvBitBtn2;
    QPushButton *JvBitBtn3;
    platform::PlaylistBox *JvPlaylist1;
    platform::Label *CPULabel;

    QMenu *PopupMenu1;
    QAction *Help1;
    QAction *Settings1;
    QAction *Closetotray1;
    QAction *Record1;
    QMenu *Language1;
    QAction *English1;
    QAction *Russian1;
    QAction *WebStreaming1;
    QMenu *Format1;
    QAction *MP3MP41;
    QAction *AAC1;
    QAction *AC31;
    QAction *Plugins1;
    QAction *Equalizer1;
    QAction *History1;
    QAction *Whatsnew1;
    QAction *About1;
    QAction *Updates1;
    QAction *Exit1;
    QMenu *PopupMenu2;
    QAction *Changecolor1;
    QMenu *PopupMenu3;
    QAction *Streaminfo1;
    QMenu *PopupMenu4;
    QAction *SaveURL1;

    platform::TrayIcon *CoolTrayIcon1;
    platform::RepeatingTimer *JvTimer1;

    // MPRIS on the session bus and title notifications; the handlers below
    // report to it what they did.
    desktop::DesktopLink *Desktop = nullptr;

    // The spectrum's bars and marks; yellow unless a colour was chosen.
    QColor SpectrumColour{255, 255, 0};

    // Playback (stream player).
    void JvBitBtn1Click();
    void JvBitBtn2Click();
    void JvBitBtn3Click();
    void JvComboBox1Click();
    void JvTrackBar1Change();
    void MP3MP41Click();
    void AAC1Click();
    void AC31Click();
    void JvFilenameEdit1ButtonClick();
    void SaveURL1Click();

    // Status refresh.
    void JvTimer1Timer();

    // Navigation.
    void Help1Click();
    void English1Click();
    void Russian1Click();
    void Settings1Click();
    void Closetotray1Click();
    void CoolTrayIcon1Click();
    void Record1Click();
    void WebStreaming1Click();
    void Plugins1Click();
    void Equalizer1Click();
    void History1Click();
    void Whatsnew1Click();
    void About1Click();
    void Updates1Click();
    void Changecolor1Click();
    void Streaminfo1Click();
    void JvLinkLabel1Click();
    void Exit1Click();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createMenus();
    void connectHandlers();
    void createDesktopLink();
    void FormCreate();

    playback::SpectrumLevels spectrum_;
};

extern TForm1 *Form1;

// The address of the maker's home page, opened by the link label and "Help".
extern const char *const kHomePage;
