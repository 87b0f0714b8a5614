#include "app/uEmulador.h"

#include "about/cSobre.h"
#include "app/Colors.h"
#include "app/EventWiring.h"
#include "app/GatePicture.h"
#include "app/TickHold.h"
#include "cache/table/Field.h"
#include "cache/base/HandlerGuard.h"
#include "cache/base/RegionalFormat.h"
#include "cache/base/Platform.h"
#include "intake/uThreadsXML.h"
#include "ui_uEmulador.h"

#include <QFont>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTime>
#include <QTimer>

namespace Catraca {

namespace {

const QString kSeparator = QStringLiteral("===============================");
const QString kReleasedPrefix = QStringLiteral("Comanda  Liberada com Sucesso :");
const QString kBlockedPrefix = QStringLiteral("Comanda Bloqueada. Status de consumo, se encontra Ativo  :");
const QString kNotRegisteredPrefix = QStringLiteral("Comanda não cadastrada no sistema:");
const QString kIntakeFailingPrefix = QStringLiteral("Coleta de XML parada: ");
const QString kIntakeRecoveredPrefix = QStringLiteral("Coleta de XML retomada às ");
const QString kJournalFailingPrefix = QStringLiteral("Diário de saídas sem gravar: ");

// Where the window's font is missing, the nearest narrow sans-serif stands in.
void InstallFontFallbacks()
{
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                                QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
}

bool IsEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

T_FrmEmulador::T_FrmEmulador(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      cdsEmulador(FoReleaseCache.cdsEmulador),
      cdsEmuladorID(FoReleaseCache.cdsEmuladorID),
      cdsEmuladorCOD_BARRA(FoReleaseCache.cdsEmuladorCOD_BARRA),
      cdsEmuladorEVENTO(FoReleaseCache.cdsEmuladorEVENTO),
      dsEmulador(QStringLiteral("dsEmulador")),
      ui(std::make_unique<Ui::T_FrmEmulador>()),
      FoJournal(Platform::ProgramFolder() + GateJournal::FolderName)
{
    InstallFontFallbacks();
    ui->setupUi(this);
    setFixedSize(503, 477);
    // Labels size themselves to their text, whatever font stands in.
    ui->Label1->adjustSize();
    ui->Label2->adjustSize();
    setWindowIcon(GatePicture::ProgramIcon());
    ui->StatusBar1->addWidget(ui->StatusPanel1, 1);
    intakeStatus_ = AddStatusLabel(QStringLiteral("IntakeStatus"));
    journalStatus_ = AddStatusLabel(QStringLiteral("JournalStatus"));
    FoJournal.SetStateHandler([this](const QString &error) { ShowJournalState(error); });
    ui->_img01->setPixmap(QPixmap::fromImage(GatePicture::GatePost()));
    ui->_Shape->SetBrushColor(clSilver);
    FoMemoLog.SetMemo(ui->Memo1);
    MemoLines::KeepNewestLines(ui->Memo1);
    MemoLines::KeepNewestLines(ui->MmEventoSaida);
    dsEmulador.SetDataSet(&cdsEmulador);
    ConfigureCachePage();
    SobreAutor = new TSobre(this);
    ConfigureAuthor();
    PlaceAtDesktopCentre();
    WireHandlers();
    HandlerGuard::Run([this] { FormCreate(this); });
}

// Nothing is saved here: what the last explicit save wrote is what stays.
T_FrmEmulador::~T_FrmEmulador() = default;

void T_FrmEmulador::ConfigureAuthor()
{
    SobreAutor->SetAutor_Aplicacao(QStringLiteral("Equipe de Desenvolvimento"));
    SobreAutor->SetAutor_email(QStringLiteral("contato@empresa.exemplo"));
    SobreAutor->SetAutor_telefone(QStringLiteral("(00) 0000-0000"));
    SobreAutor->SetEmpresa(QStringLiteral("Empresa Exemplo"));
}

void T_FrmEmulador::ConfigureCachePage()
{
    ui->DBGrid1->SetColumns({{QStringLiteral("ID"), QString(), 64, false},
                             {QStringLiteral("COD_BARRA"), QStringLiteral("Codigo Barra:"), 137, true},
                             {QStringLiteral("EVENTO"), QStringLiteral("Evento de Liberação:"), 188, true}});
    ui->DBGrid1->SetDataSource(&dsEmulador);
    ui->DBNavigator1->SetDataSource(&dsEmulador);
    ui->DBEdit1->SetDataSource(&dsEmulador);
    ui->DBEdit2->SetDataSource(&dsEmulador);
    TickHold::DuringDeleteQuestion(ui->DBGrid1, [this] {
        return EmuladorFoXML ? EmuladorFoXML->get_Timmer() : nullptr;
    });
}

void T_FrmEmulador::WireHandlers()
{
    EventWiring::OnShow(this, [this](QObject *sender) { FormShow(sender); });
    EventWiring::OnKeyDown(ui->_editCodigoBarra, [this](QObject *sender, int &key, Qt::KeyboardModifiers shift) {
        _editCodigoBarraKeyDown(sender, key, shift);
    });
    EventWiring::OnClick(ui->_btnSobre, [this](QObject *sender) { _btnSobreClick(sender); });
    EventWiring::OnClick(ui->Button1, [this](QObject *sender) { Button1Click(sender); });
    EventWiring::OnClick(ui->Button2, [this](QObject *sender) { Button2Click(sender); });
}

void T_FrmEmulador::PlaceAtDesktopCentre()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect placed = rect();
        placed.moveCenter(screen->availableGeometry().center());
        move(placed.topLeft());
    }
}

void T_FrmEmulador::FormCreate(QObject *)
{
    const QString programFolder = Platform::ProgramFolder();
    path = ReleaseCache::FilePath();
    cdsEmulador.Close();
    cdsEmulador.LoadFromFile(path);
    cdsEmulador.Open();
    ui->editPathXML->setText(programFolder + QStringLiteral("XML") + Platform::PathSeparator());
    EmuladorFoXML = std::make_unique<ProcessoXML>();
    EmuladorFoXML->SetFonte_Dados(&cdsEmulador);
    EmuladorFoXML->SetPathXML(ui->editPathXML->text());
    EmuladorFoXML->IniciarColeta();
    EmuladorFoXML->SetMemoLog(&FoMemoLog);
    EmuladorFoXML->SetJournal(&FoJournal);
    EmuladorFoXML->SetIntakeStateHandler([this](const QString &failure) { ShowIntakeState(failure); });
    EmuladorFoXML->get_Timmer()->start();
    // A work file left by a crash is finished before the window takes a key
    // or a click, so that no release at the gate rewrites data.cds first. The
    // timer already runs, so a failure here is retried on the next tick.
    EmuladorFoXML->RetomaTrabalho();
}

void T_FrmEmulador::FormShow(QObject *)
{
    ui->_editCodigoBarra->setFocus();
}

// The gate's decision for the typed barcode. An error of the cache leaves the
// handler where it arises, so the text stays in the box for another try. The
// journal has the decision on disk before the memo shows it.
void T_FrmEmulador::_editCodigoBarraKeyDown(QObject *, int &Key, Qt::KeyboardModifiers)
{
    if (!IsEnter(Key))
        return;
    const QString typed = ui->_editCodigoBarra->text();
    if (cdsEmulador.Locate(QStringLiteral("COD_BARRA"), QVariant(typed), loCaseInsensitive | loPartialKey)) {
        const QString event = cdsEmulador.FieldByName(QStringLiteral("evento"))->AsString();
        if (event == QLatin1String("C")) {
            ui->_Shape->SetBrushColor(clRed);
            FoJournal.Decision(GateJournal::Outcome::Blocked, typed, event);
            AddCheckLines(kBlockedPrefix + typed);
        } else if (event == QLatin1String("L")) {
            ui->_Shape->SetBrushColor(clLime);
            cdsEmulador.Delete();
            cdsEmulador.SaveToFile(path, dfBinary);
            FoJournal.Decision(GateJournal::Outcome::Released, typed, event);
            AddCheckLines(kReleasedPrefix + typed);
        } else {
            FoJournal.Decision(GateJournal::Outcome::OtherEvent, typed, event);
        }
    } else {
        ui->_Shape->SetBrushColor(clSilver);
        FoJournal.Decision(GateJournal::Outcome::NotRegistered, typed, QString());
        AddCheckLines(kNotRegisteredPrefix + typed);
    }
    ui->_editCodigoBarra->setText(QString());
}

void T_FrmEmulador::AddCheckLines(const QString &messageLine)
{
    MemoLines::Add(ui->MmEventoSaida, kSeparator);
    MemoLines::Add(ui->MmEventoSaida, messageLine);
    MemoLines::Add(ui->MmEventoSaida, kSeparator);
}

// A label at the right end of the status bar, hidden until it has news; the
// bar's own panel keeps its fixed text.
QLabel *T_FrmEmulador::AddStatusLabel(const QString &name)
{
    auto *label = new QLabel(ui->StatusBar1);
    label->setObjectName(name);
    label->setMaximumWidth(240);
    ui->StatusBar1->addPermanentWidget(label);
    label->hide();
    return label;
}

void T_FrmEmulador::ShowStatus(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setToolTip(text);
    label->setVisible(!text.isEmpty());
}

// Said once when the journal starts failing, gone when it writes again.
void T_FrmEmulador::ShowJournalState(const QString &error)
{
    ShowStatus(journalStatus_, error.isEmpty() ? QString() : kJournalFailingPrefix + error);
}

// Said when the collector's ticks start failing, and when they work again.
void T_FrmEmulador::ShowIntakeState(const QString &failure)
{
    const QString recovered = kIntakeRecoveredPrefix + RegionalFormat::LongTime(QTime::currentTime());
    ShowStatus(intakeStatus_, failure.isEmpty() ? recovered : kIntakeFailingPrefix + failure);
}

void T_FrmEmulador::_btnSobreClick(QObject *)
{
    SobreAutor->ExecutaAutor();
}

// "Excluir ": deletes the current row (a new row is only dropped) and saves
// at once, without a question.
void T_FrmEmulador::Button1Click(QObject *)
{
    if (!cdsEmulador.IsEmpty()) {
        cdsEmulador.Delete();
        cdsEmulador.SaveToFile(path, dfBinary);
    }
}

// "Salvar": posts a pending change, with what the data edits hold, and saves.
// Without one nothing is written, even if the table has changed since the
// last save.
void T_FrmEmulador::Button2Click(QObject *)
{
    const TDataSetState state = cdsEmulador.State();
    if (state == dsEdit || state == dsInsert) {
        cdsEmulador.Post();
        cdsEmulador.SaveToFile(path, dfBinary);
    }
}

}  // namespace Catraca
