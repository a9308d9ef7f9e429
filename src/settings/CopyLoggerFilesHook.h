#pragma once
// The settings window's three logger-file buttons open the copy dialog of the reading part.
// That dialog lives with the reading code, which installs this hook; the window only fills
// in the request.
#include <QString>
#include <functional>

class QWidget;

struct CopyLoggerFilesRequest {
    int operation = 0;       // 0 to removable media, 1 from removable media, 2 delete to the trash
    QString source;          // folder the files come from
    QString destination;     // folder they go to; empty when deleting
    QString caption;         // dialog caption (translated)
    QString status;          // status text shown while the dialog is open (translated)
    QWidget* owner = nullptr;
};

using CopyLoggerFilesHook = std::function<void(const CopyLoggerFilesRequest&)>;
void SetCopyLoggerFilesHook(CopyLoggerFilesHook hook);
const CopyLoggerFilesHook& GetCopyLoggerFilesHook();
