#pragma once

#include <QLineEdit>
#include <memory>

namespace Catraca {

class TClientDataSet;
class TDataSource;
class TField;

// A line edit bound to one field of the table behind a data source. It shows
// the current row's value and follows the current row. Anything that would
// change its text (typing, Backspace, Delete, cut, paste, a drop) first puts
// the table into edit state through the data source, and is dropped when the
// table cannot get there. What was typed reaches the field when the focus
// leaves and whenever the table asks its views for their pending text.
class TDBEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE SetDataField)
    Q_PROPERTY(bool UpperCase READ UpperCase WRITE SetUpperCase)
public:
    explicit TDBEdit(QWidget *parent = nullptr);
    ~TDBEdit() override;

    void SetDataSource(TDataSource *source);
    TDataSource *DataSource() const;
    QString DataField() const { return dataField_; }
    void SetDataField(const QString &fieldName);
    bool UpperCase() const { return upperCase_; }
    void SetUpperCase(bool upperCase);

    // The bound field, or nullptr while the table does not have it.
    TField *Field() const;
    // True while the text holds a change not yet written into the field.
    bool HasPendingText() const { return pendingText_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    class Link;
    friend class Link;

    TClientDataSet *ActiveTable() const;
    bool IsEditing() const;
    bool BeginEdit();
    static bool KeyChangesText(const QKeyEvent &event);
    void OnTextEdited(const QString &text);
    void LoadFromField();
    void StoreText();
    void RestoreFieldValue();

    std::unique_ptr<Link> link_;
    QString dataField_;
    bool upperCase_ = false;
    bool pendingText_ = false;
    bool loading_ = false;
};

}  // namespace Catraca
