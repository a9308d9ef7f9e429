#pragma once
// The rules of the site structure editor, apart from any window: the working copies of the
// site record, the compartments (table rooms) and the loggers (table devices), the node keys
// and texts of the tree, the property rows, the editing rules with their messages, adding and
// deleting, and saving back to the database.
//
// Node keys: "LOC" for the site, "COM" & RoomID for a compartment, "DEV" & DeviceID for a
// logger. Messages handed out are already translated.
#include "db/ResultList.h"

#include <QByteArray>
#include <QString>
#include <vector>

class clsDatabase;

struct StructureProperty {
    QString key;        // column name the row shows
    QString label;      // "Property" column
    QString toolTip;    // long description
    QString value;      // "Value" column, as shown
};

class clsStructureEditor {
public:
    enum NodeKind { NodeNone, NodeSite, NodeCompartment, NodeLogger };
    enum EditResult { EditAccepted, EditRefused };
    enum SaveResult { SaveDone, SaveChangedMeanwhile, SaveFailed };

    struct SiteRecord {
        qint32 LocationID = -1;
        QString LocationDescription;
        int ReadBefore = 48;
    };

    // Working sets.
    SiteRecord site;
    std::vector<DbRow> rooms;     // RoomID, RoomDescription, RoomSequence
    std::vector<DbRow> devices;   // every column of table devices

    // Fills the site record from the application-wide values and loads rooms and devices.
    // False (with *error) when the database could not be read.
    bool GenerateData(clsDatabase& db, QString* error = nullptr);
    bool IsDirty() const { return m_dirty; }

    // Keys and texts
    static QString LocationKey() { return QStringLiteral("LOC"); }
    static QString RoomKey(qint64 roomId) { return QStringLiteral("COM") + QString::number(roomId); }
    static QString DeviceKey(qint64 deviceId) { return QStringLiteral("DEV") + QString::number(deviceId); }
    static NodeKind KindOf(const QString& nodeKey);
    static qint64 IdOf(const QString& nodeKey);   // the key from its fourth character on
    QString LocationText() const;
    static QString RoomText(const DbRow& room);
    static QString DeviceText(const DbRow& device);
    static qint32 RoomOfDevice(qint64 deviceId);

    int FindRoom(qint64 roomId) const;      // index in rooms, -1 when absent
    int FindDevice(qint64 deviceId) const;  // index in devices, -1 when absent
    // Loggers shown under a compartment node (in the order of the logger list).
    std::vector<qint64> LoggersOf(qint64 roomId) const;
    bool RoomHasLoggers(qint64 roomId) const { return !LoggersOf(roomId).empty(); }
    // Loggers that appear in the tree (their compartment has a node).
    bool DeviceIsShown(const DbRow& device) const;

    std::vector<StructureProperty> Properties(const QString& nodeKey) const;
    QString ToolTipFor(const QString& nodeKey) const;   // tree tool tip for the node under the mouse

    // Editing rules. CanEdit: before an edit starts; *message is set when the refusal is
    // announced. ApplyEdit: after it; on acceptance *selectKey is the node to select next.
    bool CanEdit(const QString& nodeKey, const QString& rowKey, QString* message) const;
    EditResult ApplyEdit(const QString& nodeKey, const QString& rowKey, const QString& text, QString* message,
                         QString* title, QString* selectKey);

    qint64 AddCompartment();                         // the new RoomID
    bool CanDeleteCompartment(qint64 roomId) const;  // only while it holds no loggers
    bool DeleteCompartment(qint64 roomId);
    bool DeleteLogger(qint64 deviceId);

    // Saves the working sets: parameters, rooms and devices replaced, samples of removed loggers
    // deleted, in one transaction. Refused with SaveChangedMeanwhile (nothing changed) when rooms
    // or devices differ from what GenerateData loaded.
    SaveResult Save(clsDatabase& db, QString* message);

    // A digest of the contents of rooms and devices.
    static QByteArray TablesFingerprint(clsDatabase& db, bool* ok = nullptr);

private:
    bool m_dirty = false;
    QByteArray m_fingerprint;
};

// The one way a yes/no value is shown: the translation of "Yes" or "No".
QString YesNoText(bool value);

// "###\.###\.##": the logger identifier with points before the last five and the last two digits.
QString FormatDataSet(qint64 deviceId);
