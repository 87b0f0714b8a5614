#include "intake/uTXML.h"

#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/base/Platform.h"
#include "cache/base/RegionalFormat.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <utility>

namespace {

const QString kReadFailurePrefix = QStringLiteral("Falha ao Tentar ler Arquivo XML formato incorreto Erro:");
const QString kScanFailurePrefix = QStringLiteral("Erro na Coletada o arquivo XML erro:");

// A search pattern such as <folder>/*.xml split into the folder to list and
// the rule a name must follow.
struct SearchPattern {
    QString folder;
    QString suffix;             // what every matching name ends with
    QRegularExpression name;    // the whole name rule, wildcards included
};

int LastSeparatorIn(const QString &pattern)
{
    return std::max(pattern.lastIndexOf(Platform::PathSeparator()), pattern.lastIndexOf(QLatin1Char('/')));
}

SearchPattern SplitSearchPattern(const QString &pattern)
{
    const int separator = LastSeparatorIn(pattern);
    const QString namePattern = pattern.mid(separator + 1);
    const int lastWildcard = std::max(namePattern.lastIndexOf(QLatin1Char('*')), namePattern.lastIndexOf(QLatin1Char('?')));
    SearchPattern split;
    split.folder = pattern.left(std::max(separator, 0));
    split.suffix = namePattern.mid(lastWildcard + 1);
    split.name = QRegularExpression(QRegularExpression::wildcardToRegularExpression(namePattern),
                                    QRegularExpression::CaseInsensitiveOption);
    return split;
}

}  // namespace

TXML::TXML()
    : FoXML_Client(std::make_unique<TClientDataSet>())
{
}

TXML::~TXML()
{
    LimpaLista();
}

bool TXML::Executa_Carga()
{
    return Coleta_Arquivos();
}

int TXML::CountLista() const
{
    return static_cast<int>(FoLista_XML.size());
}

PGravaXML TXML::GetItemLista(int index) const
{
    if (index < 0)
        throw EArgumentOutOfRangeException(QStringLiteral("Argument out of range"));
    if (index >= CountLista())
        return nullptr;
    return FoLista_XML.at(index);
}

// The record that was at the index is not freed: whoever replaces it owns it.
void TXML::SetItemLista(int index, PGravaXML record)
{
    if (index < 0)
        throw EArgumentOutOfRangeException(QStringLiteral("Argument out of range"));
    if (index >= CountLista())
        return;
    FoLista_XML[index] = record;
    if (index == CountLista() - 1)
        FoPGravaXML = record;
}

void TXML::LimpaLista()
{
    qDeleteAll(FoLista_XML);
    FoLista_XML.clear();
    FoPGravaXML = nullptr;
}

QString TXML::GetLog() const
{
    return FoControleLog;
}

QString TXML::WorkFilePath() const
{
    return FoLocal + FoNome_XML;
}

// A pass empties the record list before its first read, so the collector gets
// only what this pass read. A work file left by a run that stopped between
// claim and deletion holds commands nobody applied: it is read first, and
// until it is gone no claim could succeed anyway.
bool TXML::Coleta_Arquivos()
{
    bool claimedAndRead = false;
    bool listEmptied = false;
    auto readWorkFile = [&] {
        if (!listEmptied) {
            LimpaLista();
            listEmptied = true;
        }
        Le_Arquivo();
        claimedAndRead = true;
    };
    try {
        FoLocal = Platform::ProgramFolder() + QStringLiteral("XML");
        const QString workPath = WorkFilePath();
        if (Platform::FileExists(workPath)) {
            sourceName_ = FoNome_XML;
            readWorkFile();
        }
        const SearchPattern pattern = SplitSearchPattern(FoLocal + FoTipoArquivo);
        const QStringList names = handlerFailure_ ? QStringList() : Platform::FilesWithSuffix(pattern.folder, pattern.suffix);
        for (const QString &name : names) {
            if (passStop_ && passStop_())
                break;
            if (!pattern.name.match(name).hasMatch())
                continue;
            // A file its writer still holds open may be half written: it is
            // left for a later pass, as is one whose claim fails (the target
            // exists, or the system refuses to move a file held open).
            const QString source = pattern.folder + Platform::PathSeparator() + name;
            if (Platform::FileOpenElsewhere(source))
                continue;
            if (Platform::RenameNoReplace(source, workPath)) {
                sourceName_ = name;
                readWorkFile();
            }
            if (handlerFailure_)
                break;
        }
    } catch (const Exception &error) {
        FoControleLog = ScanFailureText(error.Message());
    }
    // The records of the work file could not be applied: the caller hears of
    // it as it would of its own failure, and the work file waits.
    if (handlerFailure_)
        std::rethrow_exception(std::exchange(handlerFailure_, nullptr));
    return claimedAndRead;
}

// Only the work file a stopped run left, without claiming anything new.
bool TXML::Retoma_Trabalho()
{
    bool read = false;
    try {
        FoLocal = Platform::ProgramFolder() + QStringLiteral("XML");
        if (Platform::FileExists(WorkFilePath())) {
            LimpaLista();
            Le_Arquivo();
            read = true;
        }
    } catch (const Exception &error) {
        FoControleLog = ScanFailureText(error.Message());
    }
    if (handlerFailure_)
        std::rethrow_exception(std::exchange(handlerFailure_, nullptr));
    return read;
}

QString TXML::ScanFailureText(const QString &message) const
{
    const QDateTime now = QDateTime::currentDateTime();
    return kScanFailurePrefix + message + QStringLiteral(", Date") + RegionalFormat::ShortDate(now.date())
        + QStringLiteral(" ,") + RegionalFormat::LongTime(now.time());
}

void TXML::Le_Arquivo()
{
    const QString workPath = WorkFilePath();
    const int first = CountLista();
    FoControleLog.clear();
    bool unreadable = false;
    try {
        FoXML_Client->Close();
        LoadCommandFile(workPath, unreadable);
        ReadRows();
    } catch (const Exception &error) {
        FoControleLog = kReadFailurePrefix + error.Message();
        // A work file that could not be opened or read was never looked at:
        // it stays, and the next pass tries it again.
        if (!unreadable) {
            Platform::DeleteFileOrLink(workPath);
            if (journal_)
                journal_->FileRefused(sourceName_);
        }
        FoXML_Client->Close();
        return;
    }
    HandOverRecords(workPath, first);
}

void TXML::HandOverRecords(const QString &workPath, int first)
{
    if (!recordsRead_) {
        Platform::DeleteFileOrLink(workPath);
        return;
    }
    try {
        recordsRead_(workPath, first, CountLista() - first);
    } catch (...) {
        handlerFailure_ = std::current_exception();
    }
}

// An empty file would make the table reopen the previous command file's rows,
// and no more of an oversized one is read than the limit: both are refused.
// `unreadable` tells a file that could not be opened or read at all.
void TXML::LoadCommandFile(const QString &path, bool &unreadable)
{
    QByteArray content;
    try {
        content = Platform::ReadWholeFile(path, kMaxCommandFileBytes);
    } catch (const EFileTooLarge &) {
        throw;
    } catch (const EFOpenError &) {
        unreadable = true;
        throw;
    }
    if (content.isEmpty())
        throw EDatabaseError(QStringLiteral("Missing data provider or data packet"));
    FoXML_Client->SetHeldPacket(content);
    FoXML_Client->Open();
}

void TXML::ReadRows()
{
    FoXML_Client->First();
    if (FoXML_Client->IsEmpty())
        return;
    while (!FoXML_Client->Eof()) {
        AppendRecordOfCurrentRow();
        FoXML_Client->Next();
    }
}

// The record joins the list only when both columns were read; a record of a
// row that failed is freed here.
void TXML::AppendRecordOfCurrentRow()
{
    auto record = std::make_unique<TGrava_XML>();
    if (!ForFieldName01.isEmpty())
        record->Field01 = ColumnText(ForFieldName01);
    if (!ForFieldName02.isEmpty())
        record->Field02 = ColumnText(ForFieldName02);
    FoLista_XML.append(record.release());
    FoPGravaXML = FoLista_XML.last();
}

QString TXML::ColumnText(const QString &columnName) const
{
    return FoXML_Client->FieldByName(columnName)->AsString();
}
