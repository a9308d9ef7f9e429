#pragma once
// The splash window shown during start-up (600 x 400): the picture of the application directory
// and the edition and version. Any key hides it.
#include <QWidget>

class QLabel;

class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);
    QLabel* picSplash = nullptr;
    QLabel* lblDescr[3] = {};      // 0 "Welcome to", 1 edition and version, 2 product name
    bool pictureLoaded() const { return m_pictureLoaded; }
signals:
    void dismissed();
protected:
    void keyPressEvent(QKeyEvent* event) override;   // Form_KeyPress
private:
    void Form_Load();
    bool m_pictureLoaded = false;
};
