#pragma once
// Query results and table contents in memory: rows of tagged column values keyed by column
// name (names compared without regard to letter case).
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <vector>

class DbValue {
public:
    enum Kind { Empty, Null, Bool, Int, Float, DateTime, Text };
    DbValue() = default;
    static DbValue null() { DbValue v; v.m_kind = Null; return v; }
    DbValue(bool b) : m_kind(Bool), m_int(b ? 1 : 0) {}
    DbValue(int i) : m_kind(Int), m_int(i) {}
    DbValue(qint64 i) : m_kind(Int), m_int(i) {}
    DbValue(double d) : m_kind(Float), m_float(d) {}
    DbValue(float f) : m_kind(Float), m_float(f) {}
    DbValue(const QDateTime& t) : m_kind(DateTime), m_time(t) {}
    DbValue(const QString& s) : m_kind(Text), m_text(s) {}
    DbValue(const char* s) : m_kind(Text), m_text(QString::fromUtf8(s)) {}

    Kind kind() const { return m_kind; }
    bool isEmpty() const { return m_kind == Empty; }
    bool isNull() const { return m_kind == Null || m_kind == Empty; }
    bool toBool() const;
    qint64 toInt() const;
    double toDouble() const;
    QDateTime toDateTime() const;      // naive, Qt::UTC timeSpec (see modMain.h)
    QString toString() const;          // booleans as "True"/"False", dates as "yyyy-MM-dd HH:mm:ss"
    QVariant toVariant() const;
    bool operator==(const DbValue& o) const;

private:
    Kind m_kind = Empty;
    qint64 m_int = 0;
    double m_float = 0;
    QDateTime m_time;
    QString m_text;
};

class DbRow {
public:
    void add(const QString& name, const DbValue& value) { m_names.push_back(name); m_values.push_back(value); }
    int size() const { return int(m_values.size()); }
    const DbValue& at(int i) const { return m_values[size_t(i)]; }
    DbValue& at(int i) { return m_values[size_t(i)]; }
    const QString& nameAt(int i) const { return m_names[size_t(i)]; }
    bool contains(const QString& name) const { return indexOf(name) >= 0; }
    int indexOf(const QString& name) const;
    // Value by column name; an Empty value when the row has no such column.
    DbValue value(const QString& name) const;
    void set(const QString& name, const DbValue& value);
    DbValue operator[](const QString& name) const { return value(name); }

private:
    std::vector<QString> m_names;
    std::vector<DbValue> m_values;
};

class ResultList {
public:
    bool hasHeader = false;            // first row holds the column names (values are Text, names empty)
    std::vector<DbRow> rows;
    int size() const { return int(rows.size()); }
    bool empty() const { return rows.empty(); }
    void clear() { rows.clear(); hasHeader = false; }
    // Rows after the header, if there is one.
    int firstDataRow() const { return hasHeader ? 1 : 0; }
};
