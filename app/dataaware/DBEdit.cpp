#include "app/dataaware/DBEdit.h"

#include "cache/table/ClientDataSet.h"
#include "cache/table/DataSource.h"
#include "cache/table/Field.h"
#include "cache/base/HandlerGuard.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QValidator>

namespace Catraca {

namespace {

// Turns every letter to upper case as it is typed or pasted, one character
// for one, so that the width limit still counts what the operator typed.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        for (QChar &character : input)
            character = character.toUpper();
        return Acceptable;
    }
};

constexpr int kUnlimitedLength = 32767;

bool IsTextField(const TField &field)
{
    switch (field.DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftFixedWideChar:
        return true;
    default:
        return false;
    }
}

}  // namespace

class TDBEdit::Link : public TDataLink {
public:
    explicit Link(TDBEdit *edit) : edit_(edit) {}
    void ActiveChanged() override { edit_->LoadFromField(); }
    void DataSetChanged() override { edit_->LoadFromField(); }
    void DataSetScrolled() override { edit_->LoadFromField(); }
    void EditingChanged() override { edit_->LoadFromField(); }
    void RecordChanged(TField *field) override
    {
        if (!field || field == edit_->Field())
            edit_->LoadFromField();
    }
    void UpdateData() override { edit_->StoreText(); }

private:
    TDBEdit *edit_;
};

TDBEdit::TDBEdit(QWidget *parent) : QLineEdit(parent), link_(std::make_unique<Link>(this))
{
    connect(this, &QLineEdit::textEdited, this, &TDBEdit::OnTextEdited);
}

TDBEdit::~TDBEdit() = default;

void TDBEdit::SetDataSource(TDataSource *source)
{
    link_->SetDataSource(source);
    LoadFromField();
}

TDataSource *TDBEdit::DataSource() const
{
    return link_->DataSource();
}

void TDBEdit::SetDataField(const QString &fieldName)
{
    dataField_ = fieldName;
    LoadFromField();
}

void TDBEdit::SetUpperCase(bool upperCase)
{
    upperCase_ = upperCase;
    setValidator(upperCase ? new UpperCaseValidator(this) : nullptr);
}

TField *TDBEdit::Field() const
{
    TClientDataSet *table = link_->DataSource() ? link_->DataSet() : nullptr;
    return table && !dataField_.isEmpty() ? table->FindField(dataField_) : nullptr;
}

TClientDataSet *TDBEdit::ActiveTable() const
{
    TClientDataSet *table = link_->DataSource() ? link_->DataSet() : nullptr;
    return table && table->Active() ? table : nullptr;
}

bool TDBEdit::IsEditing() const
{
    TClientDataSet *table = ActiveTable();
    return table && (table->State() == dsEdit || table->State() == dsInsert);
}

// True when the table is in edit or insert state afterwards and the field
// may be written.
bool TDBEdit::BeginEdit()
{
    TField *field = Field();
    if (!ActiveTable() || !field || field->ReadOnly())
        return false;
    if (IsEditing())
        return true;
    return link_->DataSource()->Edit();
}

bool TDBEdit::KeyChangesText(const QKeyEvent &event)
{
    static const QKeySequence::StandardKey changingKeys[] = {
        QKeySequence::Cut,           QKeySequence::Paste,           QKeySequence::Undo,
        QKeySequence::Redo,          QKeySequence::Delete,          QKeySequence::Backspace,
        QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord, QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine};
    if (event.key() == Qt::Key_Backspace || event.key() == Qt::Key_Delete)
        return true;
    for (QKeySequence::StandardKey key : changingKeys)
        if (event.matches(key))
            return true;
    // Ctrl and Meta combinations are commands, except Ctrl+Alt, which is how
    // some keyboards type their third-level characters.
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const bool command = (modifiers & Qt::MetaModifier)
                         || ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier));
    const QString text = event.text();
    return !command && !text.isEmpty() && text.at(0).isPrint();
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        HandlerGuard::Run([this] { RestoreFieldValue(); });
        return;
    }
    if (KeyChangesText(*event)) {
        bool editing = false;
        HandlerGuard::Run([this, &editing] { editing = BeginEdit(); });
        if (!editing) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

// Changes that arrive without a key (the context menu, a drop, an input
// method) start editing here, after the fact: the new text is put back once
// the table has reloaded the row, or dropped when it cannot be edited.
void TDBEdit::OnTextEdited(const QString &text)
{
    if (loading_)
        return;
    if (IsEditing()) {
        pendingText_ = true;
        return;
    }
    const int cursor = cursorPosition();
    bool editing = false;
    HandlerGuard::Run([this, &editing] { editing = BeginEdit(); });
    if (!editing) {
        LoadFromField();
        return;
    }
    setText(text);
    setCursorPosition(cursor);
    pendingText_ = true;
}

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    HandlerGuard::Run([this] { StoreText(); });
}

void TDBEdit::LoadFromField()
{
    loading_ = true;
    TField *field = ActiveTable() ? Field() : nullptr;
    // Setting the limit or the same text again would lose the operator's
    // cursor and selection in the middle of a keystroke.
    const int limit = field && IsTextField(*field) && field->Size() > 0 ? field->Size() : kUnlimitedLength;
    if (maxLength() != limit)
        setMaxLength(limit);
    const QString value = field ? field->AsString() : QString();
    if (text() != value)
        setText(value);
    pendingText_ = false;
    loading_ = false;
}

void TDBEdit::StoreText()
{
    if (!pendingText_)
        return;
    TField *field = Field();
    if (!field || !IsEditing())
        return;
    pendingText_ = false;
    try {
        field->SetAsString(text());
    } catch (...) {
        pendingText_ = true;
        throw;
    }
}

void TDBEdit::RestoreFieldValue()
{
    pendingText_ = false;
    LoadFromField();
    selectAll();
}

}  // namespace Catraca
