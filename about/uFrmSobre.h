#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class T_FrmAutor;
}

namespace Catraca {

class TSobre;


// The About window: the author's name, e-mail address, telephone number and
// company in read-only boxes. It has no button of its own; it is closed from
// its title bar or with the system's close key.
class T_FrmAutor : public QDialog {
    Q_OBJECT
public:
    explicit T_FrmAutor(QWidget *parent = nullptr);
    ~T_FrmAutor() override;

    // Puts the author's data into the four boxes.
    void ShowAuthor(const TSobre &author);

private:
    // Built from the layout file; the generated class stays in the source.
    std::unique_ptr<Ui::T_FrmAutor> ui;
};

}  // namespace Catraca
