#include "profiles/ui/ProfileCommands.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include "shell/DialogHost.h"
#include "shell/ui/Twips.h"

namespace keldara::profiles {

namespace {

const QString ApplicationTitle = QStringLiteral("Vostrel");
const QString ProfileFilter = QStringLiteral("MySQL Profile Files|*.pro|All Files (*.*)|*.*");
const QString Cancel = shell::DialogHost::CancelResult;

QAction* namedAction(QMenu* menu, const QString& name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

shell::DialogHost::CommonDialog profileDialog(const QString& title, const QString& folder) {
    shell::DialogHost::CommonDialog settings;
    settings.DialogTitle = title;
    settings.InitDir = folder;
    settings.Filter = ProfileFilter;
    settings.FilterIndex = 0;
    settings.Flags = platform::FileDialogRequest::FileMustExist;
    settings.CancelError = true;
    return settings;
}

}  // namespace

ProfileCommands::ProfileCommands(QMenu* fileMenu, shell::Workspace& workspace)
    : QObject(fileMenu), ws_(workspace), gMRUList_(workspace.platform.settings) {
    mnuProfileLoad_ = namedAction(fileMenu, "mnuProfileLoad", "Load Profile");
    mnuProfileSave_ = namedAction(fileMenu, "mnuProfileSave", "Save Profile");
    mnuProfileSaveAS_ = namedAction(fileMenu, "mnuProfileSaveAS", "Save Profile As");
    fileMenu->addSeparator()->setObjectName("mnuSep2");
    for (int i = 0; i < RecentEntries; ++i) {
        mnuMRUFiles_[i] = namedAction(fileMenu, QStringLiteral("mnuMRUFiles_%1").arg(i), QString());
        mnuMRUFiles_[i]->setVisible(false);
        connect(mnuMRUFiles_[i], &QAction::triggered, this, [this, i] { mnuMRUFiles_Click(i); });
    }
    connect(mnuProfileLoad_, &QAction::triggered, this, &ProfileCommands::mnuProfileLoad_Click);
    connect(mnuProfileSave_, &QAction::triggered, this, &ProfileCommands::mnuProfileSave_Click);
    connect(mnuProfileSaveAS_, &QAction::triggered, this, &ProfileCommands::mnuProfileSaveAS_Click);
}

void ProfileCommands::LoadRecentList() {
    gMRUList_.Load(ApplicationName);
    Update();
}

void ProfileCommands::SaveRecentList() {
    gMRUList_.Save(ApplicationName);
}

void ProfileCommands::Update() {
    for (QAction* entry : mnuMRUFiles_) entry->setVisible(false);
    for (int k = 1; k <= gMRUList_.Count() && k <= RecentEntries; ++k) {
        const QString path = gMRUList_.Item(k);
        QAction* entry = mnuMRUFiles_[k - 1];
        // "&" would otherwise mark a shortcut letter in the caption
        entry->setText(LongDirFix(path, 35).replace(QLatin1Char('&'), QLatin1String("&&")));
        entry->setData(path);
        entry->setVisible(true);
    }
}

void ProfileCommands::LoadIt() {
    bProfileRead_ = false;
    const std::optional<ProfileRecord> record = ReadProfile(ProfileFileName_);
    if (!record) {
        showMessage(QStringLiteral("Invalid Profile Configuration File"), ApplicationTitle);
        ProfileFileName_.clear();
        return;
    }
    bProfileRead_ = true;
    gMRUList_.Add(ProfileFileName_);
    Update();
    emit profileLoaded(profileFromRecord(*record));
}

bool ProfileCommands::SaveMySettings() {
    Profile profile;
    emit profileRequested(profile);
    const QString problem = profileProblem(profile);
    if (!problem.isEmpty()) {
        ws_.SetStatusText(QStringLiteral("Settings Not Saved: ") + problem);
        return false;
    }
    const std::optional<ProfileRecord> record =
        recordFromProfile(profile, QDateTime::currentDateTime());
    if (!WriteProfile(ProfileFileName_, *record)) {
        ws_.SetStatusText(QStringLiteral("Settings Not Saved: ") + ProfileFileName_ +
                          QStringLiteral(" cannot be written"));
        return false;
    }
    // Only a profile that was written joins the recent list.
    gMRUList_.Add(ProfileFileName_);
    Update();
    ws_.SetStatusText(QStringLiteral("Settings Saved"));
    return true;
}

// Where the profile dialogs start: the folder of the last profile, else the user's home.
QString ProfileCommands::profileFolder() const {
    const QString last = !ProfileFileName_.isEmpty() ? ProfileFileName_ : gMRUList_.Item(1);
    if (!last.isEmpty()) {
        const QString folder = QFileInfo(last).absolutePath();
        if (QFileInfo(folder).isDir()) return folder;
    }
    return QDir::homePath();
}

void ProfileCommands::openProfile(const QString& path) {
    ProfileFileName_ = path;
    LoadIt();
}

void ProfileCommands::openFromCommandLine(const QStringList& arguments) {
    if (arguments.size() > 1) openProfile(QFileInfo(arguments[1]).absoluteFilePath());
}

void ProfileCommands::mnuProfileLoad_Click() {
    ProfileFileName_ =
        shell::askForFile(ws_.platform.files, shell::FileDialogKind::Open,
                          profileDialog(QStringLiteral("Open Profile File"), profileFolder()),
                          dialogLeft(), dialogTop());
    if (ProfileFileName_ != Cancel) {
        LoadIt();
    } else {
        ProfileFileName_.clear();
    }
}

// A name without an extension gets ".pro".
void ProfileCommands::askForSaveName() {
    ProfileFileName_ =
        shell::askForFile(ws_.platform.files, shell::FileDialogKind::Save,
                          profileDialog(QStringLiteral("Save Profile File"), profileFolder()),
                          dialogLeft(), dialogTop());
    if (ProfileFileName_ == Cancel) {
        ProfileFileName_.clear();
    } else if (!ProfileFileName_.isEmpty() && QFileInfo(ProfileFileName_).suffix().isEmpty()) {
        ProfileFileName_ += QStringLiteral(".pro");
    }
}

void ProfileCommands::mnuProfileSave_Click() {
    if (ProfileFileName_.isEmpty() || !QFileInfo::exists(ProfileFileName_)) askForSaveName();
    if (!ProfileFileName_.isEmpty() && ProfileFileName_ != Cancel) SaveMySettings();
}

// "Save Profile As" always asks for the name, then saves as "Save Profile" does; a cancel
// keeps the current profile.
void ProfileCommands::mnuProfileSaveAS_Click() {
    const QString current = ProfileFileName_;
    askForSaveName();
    if (ProfileFileName_.isEmpty()) {
        ProfileFileName_ = current;
    } else {
        SaveMySettings();
    }
}

void ProfileCommands::mnuMRUFiles_Click(int index) {
    const QString path = mnuMRUFiles_[index]->data().toString();
    if (QFileInfo::exists(path)) {
        openProfile(path);
    } else {
        showMessage(QStringLiteral("Profile not found"), QStringLiteral("Keldara"), true);
    }
}

void ProfileCommands::showMessage(const QString& text, const QString& title, bool critical) {
    platform::MessageRequest request;
    request.text = text;
    request.title = title;
    request.buttons = platform::MessageButtons::Ok;
    request.icon = critical ? platform::MessageIcon::Critical : platform::MessageIcon::None;
    ws_.platform.messages.show(request);
}

int ProfileCommands::dialogLeft() const {
    return ws_.window ? qRound(shell::toTwips(ws_.window->frameGeometry().x())) : 0;
}

int ProfileCommands::dialogTop() const {
    return ws_.window ? qRound(shell::toTwips(ws_.window->frameGeometry().y())) : 0;
}

}  // namespace keldara::profiles
