#include "intake/uTXML.h"

#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/base/Platform.h"
#include "cache/base/RegionalFormat.h"
#include "intake/RefusedFolder.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <utility>

namespace Catraca {

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

// A name whose bytes were not valid text keeps them as lone surrogates, which
// no pattern matches; it is matched as the replacement characters it shows.
QString MatchableName(const QString &name)
{
    return name.isValidUtf16() ? name : QString::fromUtf8(name.toUtf8());
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

QString TXML::CommandFolder()
{
    return Platform::ProgramFolder() + QStringLiteral("XML");
}

QString TXML::WorkFilePath() const
{
    return CommandFolder() + FoNome_XML;
}

// A pass empties the record list before its first read, so the collector gets
// only what this pass read. A work file left by a run that stopped between
// claim and deletion holds commands nobody applied: it is read first, and
// until it is gone no claim could succeed anyway.
bool TXML::Coleta_Arquivos()
{
    bool claimedAndRead = false;
    bool listEmptied = false;
    auto emptyListOnce = [&] {
        if (!listEmptied)
            LimpaLista();
        listEmptied = true;
    };
    try {
        FoLocal = CommandFolder();
        const QString workPath = WorkFilePath();
        Platform::FinishInterruptedMove(workPath);
        if (Platform::FileExists(workPath)) {
            sourceName_ = FoNome_XML;
            emptyListOnce();
            Le_Arquivo();
            claimedAndRead = true;
        }
        const SearchPattern pattern = SplitSearchPattern(FoLocal + FoTipoArquivo);
        // A work file whose commands could not be applied ends the pass here.
        const QStringList names = handlerFailure_ ? QStringList() : Platform::FilesWithSuffix(pattern.folder, pattern.suffix);
        if (!handlerFailure_)
            sightings_.KeepOnly(names);
        for (const QString &name : names) {
            if (passStop_ && passStop_())
                break;
            if (!pattern.name.match(MatchableName(name)).hasMatch())
                continue;
            // While a work file is still there (its read failing for a while,
            // its deletion failed) no claim could succeed, and its record must
            // not give way to another claim's; the claim handler knows which
            // work files it may drop.
            if (!claimStarting_ && Platform::FileExists(workPath))
                break;
            emptyListOnce();
            if (TakeCommandFile(pattern.folder + Platform::PathSeparator() + name, name))
                claimedAndRead = true;
            if (handlerFailure_ || std::exchange(claimRefused_, false))
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
        FoLocal = CommandFolder();
        Platform::FinishInterruptedMove(WorkFilePath());
        if (Platform::FileExists(WorkFilePath())) {
            LimpaLista();
            sourceName_ = FoNome_XML;
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

// The file is read and parsed where it lies before it is claimed: what is
// decided is what was opened, a link or a pipe is never followed or waited
// on, and a file that does not parse yet is left to its writer until it has
// stood unchanged for a while. The read step then deals with the bytes read.
bool TXML::TakeCommandFile(const QString &source, const QString &name)
{
    const Platform::FolderEntry entry = Platform::ReadFolderEntry(source, kMaxCommandFileBytes);
    if (!Readable(entry, source, name))
        return false;
    ClaimedFile claimed{entry.content, entry.modifiedMs, CountLista(), false, {}};
    claimed.parsed = ReadPacket(claimed.content, claimed.failure);
    if (!claimed.parsed && sightings_.ChangedLately(name, entry.content.size(), entry.modifiedMs))
        return false;
    if (claimStarting_) {
        try {
            const int count = claimed.parsed ? CountLista() - claimed.first : -1;
            claimRefused_ = !claimStarting_(WorkFilePath(), entry.content, entry.modifiedMs, count);
        } catch (...) {
            handlerFailure_ = std::current_exception();
        }
        if (claimRefused_ || handlerFailure_) {
            TruncateList(claimed.first);
            return false;
        }
    }
    if (!Platform::MoveNoReplace(source, WorkFilePath(), entry.content, entry.modifiedMs)) {
        Notice(name, QStringLiteral("Arquivo XML não pôde ser coletado, fica na pasta: ") + name);
        TruncateList(claimed.first);
        return false;
    }
    sightings_.Forget(name);
    sourceName_ = name;
    claimed_ = std::move(claimed);
    try {
        Le_Arquivo();
    } catch (...) {
        claimed_.reset();
        TruncateList(claimed.first);
        throw;
    }
    return true;
}

bool TXML::Readable(const Platform::FolderEntry &entry, const QString &path, const QString &name)
{
    using Kind = Platform::FolderEntry::Kind;
    switch (entry.kind) {
    case Kind::Read:
        return true;
    case Kind::Missing:
    case Kind::OpenElsewhere:
        return false;
    case Kind::Link:
    case Kind::NotRegular:
        Notice(name, QStringLiteral("Arquivo XML ignorado, não é um arquivo comum: ") + name);
        return false;
    case Kind::Unreadable:
        Notice(name, QStringLiteral("Arquivo XML não pôde ser lido, fica na pasta: ") + entry.failure);
        return false;
    case Kind::Forbidden:
    case Kind::TooLarge:
        break;
    }
    // It can never be read as it is: kept whole for the operator, out of the
    // way of the files behind it.
    const QString keptAs = RefusedFolder(FoLocal).SetAside(path, name);
    if (keptAs.isEmpty()) {
        Notice(name, QStringLiteral("Arquivo XML não pôde ser lido nem posto de lado: ") + entry.failure);
        return false;
    }
    Notice(name, QStringLiteral("Arquivo XML posto de lado em ") + keptAs + QStringLiteral(": ") + entry.failure);
    if (journal_)
        journal_->FileRefused(name);
    sightings_.Forget(name);
    return false;
}

void TXML::Notice(const QString &name, const QString &text)
{
    if (sightings_.FirstReport(name, text))
        notices_.append(text);
}

// The work file goes, as a file that is not a packet always has; its bytes
// are kept for the operator, since its commands are otherwise gone.
void TXML::RefuseBrokenFile(const ClaimedFile &claimed)
{
    const QString workPath = WorkFilePath();
    FoControleLog = kReadFailurePrefix + claimed.failure;
    const RefusedFolder refused(FoLocal);
    if (refused.SetAside(workPath, sourceName_).isEmpty() && refused.KeepCopy(claimed.content, sourceName_).isEmpty())
        notices_.append(QStringLiteral("Arquivo XML recusado não pôde ser guardado em ") + refused.Path());
    Platform::DeleteFileOrLink(workPath);
    if (journal_)
        journal_->FileRefused(sourceName_);
}

// The read step of the work file: the bytes of a file just claimed were read
// before the claim; a work file an earlier run left is read here.
void TXML::Le_Arquivo()
{
    std::optional<ClaimedFile> claimed = std::exchange(claimed_, std::nullopt);
    if (!claimed) {
        claimed = ReadLeftoverWorkFile();
        if (!claimed)
            return;
    }
    FoControleLog.clear();
    if (!claimed->parsed) {
        RefuseBrokenFile(*claimed);
        return;
    }
    HandOverRecords(*claimed);
}

std::optional<TXML::ClaimedFile> TXML::ReadLeftoverWorkFile()
{
    const QString workPath = WorkFilePath();
    const Platform::FolderEntry entry = Platform::ReadFolderEntry(workPath, kMaxCommandFileBytes);
    if (!Readable(entry, workPath, FoNome_XML))
        return std::nullopt;
    ClaimedFile claimed{entry.content, entry.modifiedMs, CountLista(), false, {}};
    claimed.parsed = ReadPacket(claimed.content, claimed.failure);
    return claimed;
}

void TXML::HandOverRecords(const ClaimedFile &claimed)
{
    if (!recordsRead_) {
        Platform::DeleteFileOrLink(WorkFilePath());
        return;
    }
    try {
        recordsRead_(WorkFilePath(), claimed.content, claimed.modifiedMs, claimed.first, CountLista() - claimed.first);
    } catch (...) {
        handlerFailure_ = std::current_exception();
    }
}

// An empty file would make the table reopen the previous command file's rows:
// it is refused.
bool TXML::ReadPacket(const QByteArray &content, QString &failure)
{
    const int first = CountLista();
    try {
        FoXML_Client->Close();
        if (content.isEmpty())
            throw EDatabaseError(QStringLiteral("Missing data provider or data packet"));
        FoXML_Client->SetHeldPacket(content);
        FoXML_Client->Open();
        ReadRows();
    } catch (const Exception &error) {
        failure = error.Message();
        FoXML_Client->Close();
        TruncateList(first);
        return false;
    }
    return true;
}

void TXML::TruncateList(int count)
{
    while (CountLista() > count)
        delete FoLista_XML.takeLast();
    FoPGravaXML = FoLista_XML.isEmpty() ? nullptr : FoLista_XML.last();
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

}  // namespace Catraca
