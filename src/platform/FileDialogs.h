#pragma once

#include <QString>
#include <optional>

namespace keldara::platform {

// What a caller asks of a file dialog. The filter is "description|pattern" pairs joined by
// "|"; a pattern may list several globs separated by ";".
struct FileDialogRequest {
    QString title;
    QString initialFolder;
    QString filter;
    int filterIndex = 0;  // 0 and 1 both preselect the first entry
    int flags = 0;
    int left = 0;  // where the caller places the dialog, in twips
    int top = 0;

    static constexpr int FileMustExist = 4096;
};

// Modal open, save and font dialogs. Nothing means the user chose nothing.
class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> showOpen(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> showSave(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> showFont(const FileDialogRequest& request) = 0;
};

}  // namespace keldara::platform
