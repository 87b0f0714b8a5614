#pragma once

#include <QWidget>
#include <array>
#include <memory>

class QToolButton;

namespace Catraca {

class TClientDataSet;
class TDataSource;

enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbEdit };

// A row of buttons that moves the table behind a data source and starts an
// insertion or an edit. Each button is enabled only while its action makes
// sense for the table's state and position. The navigator works by mouse
// alone and never takes the keyboard focus, so the control that has it keeps
// its pending text until the table asks for it.
class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    static constexpr int kButtonCount = nbEdit + 1;

    explicit TDBNavigator(QWidget *parent = nullptr);
    ~TDBNavigator() override;

    void SetDataSource(TDataSource *source);
    TDataSource *DataSource() const;

    QToolButton *Button(TNavigateBtn button) const { return buttons_.at(button); }
    // What a click on the button does.
    void BtnClick(TNavigateBtn button);

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    class Link;
    friend class Link;

    void UpdateButtons();
    bool ShouldEnable(TNavigateBtn button) const;
    TClientDataSet *ActiveTable() const;
    void LayOutButtons();

    std::unique_ptr<Link> link_;
    std::array<QToolButton *, kButtonCount> buttons_{};
};

}  // namespace Catraca
