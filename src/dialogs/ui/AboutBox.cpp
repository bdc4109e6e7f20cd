#include "dialogs/ui/AboutBox.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "dialogs/KeyValue.h"
#include "shell/ui/Logo.h"
#include "shell/ui/Twips.h"

namespace keldara::dialogs {

using shell::placeTw;

namespace {

QLabel* label(QWidget* parent, const QString& name, const QString& text, double left, double top,
              double width, double height) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    placeTw(l, left, top, width, height);
    return l;
}

}  // namespace

AboutBox::AboutBox(platform::Platform platform, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      platform_(platform) {
    setObjectName("frmAbout");
    setWindowTitle("About MyApp");
    setFixedSize(shell::toPixels(5550), shell::toPixels(3225));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    auto* logo = label(this, "ImgPic", {}, 240, 240, 600, 600);
    logo->setPixmap(shell::productLogo(logo->size()));
    QFont titleFont = font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    label(this, "LblTitle", "Tamrix Keldara", 1050, 180, 3885, 480)->setFont(titleFont);
    label(this, "lblVersion", "Version 1.1", 1050, 660, 3885, 225);
    label(this, "LbEdition", "Version 1.1", 1050, 900, 3885, 225);
    label(this, "Label2_0", "Product Information :", 1050, 1170, 3885, 225);
    label(this, "LbEmail", "E-mail :support@keldara.example", 1050, 1400, 3885, 225);
    label(this, "LbDevelover", "https://keldara.example", 1050, 1630, 3885, 225);
    auto* line = new QFrame(this);
    line->setObjectName("Line1");
    line->setFrameShape(QFrame::HLine);
    placeTw(line, 120, 1920, 5300, 30);
    auto* note = label(this, "LbNote",
                       "Warning: this program is protected by copyright law. Unauthorised "
                       "reproduction or distribution of this program, or any portion of it, "
                       "may result in severe civil and criminal penalties.",
                       120, 2000, 3800, 1100);
    note->setWordWrap(true);
    QFont noteFont = font();
    noteFont.setPointSizeF(noteFont.pointSizeF() * 0.85);
    note->setFont(noteFont);

    cmdOK_ = new QPushButton("OK", this);
    cmdOK_->setObjectName("cmdOK");
    cmdOK_->setDefault(true);
    placeTw(cmdOK_, 4100, 2100, 1300, 345);
    cmdSysInfo_ = new QPushButton("&System Info...", this);
    cmdSysInfo_->setObjectName("cmdSysInfo");
    cmdSysInfo_->setAutoDefault(false);
    placeTw(cmdSysInfo_, 4100, 2600, 1300, 345);

    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo_, &QPushButton::clicked, this, &AboutBox::StartSysInfo);
}

void AboutBox::StartSysInfo() {
    QString path;
    if (GetKeyValue(platform_.keys, platform::KeyRoot::LocalMachine,
                    R"(SOFTWARE\Microsoft\Shared Tools\MSINFO)", "PATH", path)) {
        if (!start(path)) showUnavailable();
        return;
    }
    QString folder;
    if (!GetKeyValue(platform_.keys, platform::KeyRoot::LocalMachine,
                     R"(SOFTWARE\Microsoft\Shared Tools Location)", "MSINFO", folder)) {
        showUnavailable();
        return;
    }
    const QString program = QDir(folder).filePath("MSINFO32.EXE");
    if (!QFileInfo::exists(program) || !start(program)) showUnavailable();
}

bool AboutBox::start(const QString& program) {
    return platform_.processes.startDetached(program);
}

void AboutBox::showUnavailable() {
    platform_.messages.show({"System Information Is Unavailable At This Time", "Vostrel",
                             platform::MessageButtons::Ok, platform::MessageIcon::None});
}

}  // namespace keldara::dialogs
