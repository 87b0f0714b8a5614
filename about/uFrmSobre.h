#pragma once

#include "ui_uFrmSobre.h"

#include <QDialog>

// The About window: the author's name, e-mail address, telephone number and
// company in read-only boxes. It has no button of its own; it is closed from
// its title bar or with the system's close key.
class T_FrmAutor : public QDialog, public Ui_T_FrmAutor {
    Q_OBJECT
public:
    explicit T_FrmAutor(QWidget *parent = nullptr);
};
