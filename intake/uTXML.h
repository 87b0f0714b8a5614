#pragma once

#include "cache/base/Platform.h"
#include "cache/table/ClientDataSet.h"
#include "intake/CommandJournal.h"
#include "intake/EntrySightings.h"

#include <QList>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace Catraca {

// One command: a tab's barcode and its event code.
struct TGrava_XML {
    QString Field01;  // barcode (ID_COMANDA)
    QString Field02;  // event code (EVENTO)
};
using PGravaXML = TGrava_XML *;

// The reader's settings and names as an interface; nothing calls through it.
class IXML {
public:
    virtual ~IXML() = default;
    virtual QString GetLocal() const = 0;
    virtual void SetrFieldName01(const QString &value) = 0;
    virtual void SetrFieldName02(const QString &value) = 0;
    virtual void SetIdentif(const QString &value) = 0;
    virtual void SetNome_XML(const QString &value) = 0;
    virtual void SetSection(const QString &value) = 0;
    virtual void SetTipoArquivo(const QString &value) = 0;
    virtual QString rFieldName01() const = 0;
    virtual QString rFieldName02() const = 0;
    virtual QString Nome_XML() const = 0;
    virtual QString Section() const = 0;
    virtual QString Identif() const = 0;
    virtual QString TipoArquivo() const = 0;
};

// The command file reader: each pass claims the command files of the folder
// XML by renaming them to the work file, reads their rows into command
// records and deletes the work file. Read failures become the log text.
class TXML : public IXML {
public:
    // Larger command files are refused unread: a command file holds a handful
    // of rows, and anything this big is not one.
    static constexpr qint64 kMaxCommandFileBytes = 16 * 1024 * 1024;

    TXML();
    ~TXML() override;
    TXML(const TXML &) = delete;
    TXML &operator=(const TXML &) = delete;

    // One pass; true when it claimed at least one file and read it.
    bool Executa_Carga();
    // Reads the work file a stopped run left, if there is one, and claims
    // nothing; true when there was one and it was read.
    bool Retoma_Trabalho();
    int CountLista() const;
    virtual PGravaXML GetItemLista(int index) const;
    virtual void SetItemLista(int index, PGravaXML record);
    // Frees every record and empties the list.
    void LimpaLista();
    virtual QString GetLog() const;

    // IXML
    QString GetLocal() const override { return Local(); }
    void SetrFieldName01(const QString &value) override { ForFieldName01 = value; }
    void SetrFieldName02(const QString &value) override { ForFieldName02 = value; }
    void SetIdentif(const QString &value) override { FoIdentif = value; }
    void SetNome_XML(const QString &value) override { FoNome_XML = value; }
    void SetSection(const QString &value) override { FoSection = value; }
    void SetTipoArquivo(const QString &value) override { FoTipoArquivo = value; }
    QString rFieldName01() const override { return ForFieldName01; }
    QString rFieldName02() const override { return ForFieldName02; }
    QString Nome_XML() const override { return FoNome_XML; }
    QString Section() const override { return FoSection; }
    QString Identif() const override { return FoIdentif; }
    QString TipoArquivo() const override { return FoTipoArquivo; }

    virtual QString Local() const { return FoLocal; }
    // The work file beside the command folder.
    QString WorkFilePath() const;
    virtual TClientDataSet *XML_Client() const { return FoXML_Client.get(); }

    // Called after a work file was read whole, with the path of the work file,
    // the bytes and modification time read, and the range of the records it
    // gave, before anything deletes it. The handler then owns the work file:
    // it applies the records and deletes it, at once or before a later claim. An exception the handler raises
    // ends the pass and leaves Executa_Carga unchanged; the work file stays
    // and the next pass reads it again.
    using RecordsReadHandler = std::function<void(const QString &workFile, const QByteArray &content,
                                                  qint64 modifiedMs, int first, int count)>;
    void SetRecordsReadHandler(RecordsReadHandler handler) { recordsRead_ = std::move(handler); }
    // Asked before each name of a pass: true ends the pass there, and the
    // names left wait for the next pass.
    using PassStopCheck = std::function<bool()>;
    void SetPassStopCheck(PassStopCheck check) { passStop_ = std::move(check); }
    // Called right before the claim with the work file's path, the bytes and
    // time of the file about to become it and the number of records they gave
    // (-1 when they are no packet). It decides whether a work file still
    // there may be replaced, and removes it: false leaves the file unclaimed
    // and ends the pass, and so does an exception, which the pass then
    // raises. Without a handler a work file still there ends the pass.
    using ClaimHandler = std::function<bool(const QString &workFile, const QByteArray &content, qint64 modifiedMs,
                                            int count)>;
    void SetClaimHandler(ClaimHandler handler) { claimStarting_ = std::move(handler); }
    // Hears of every command file refused.
    void SetJournal(CommandJournal *journal) { journal_ = journal; }
    // The name the command file in the work file had before it was claimed;
    // the work file's own name for one left by an earlier run.
    QString SourceFileName() const { return sourceName_; }
    // Lines about command files left where they are or set aside since the
    // last call, each told once; the log text stays the last file's.
    QStringList TakeNotices() { return std::exchange(notices_, {}); }

protected:
    // Reads the work file into the record list, then deletes it.
    virtual void Le_Arquivo();
    // One pass over the command folder.
    virtual bool Coleta_Arquivos();

private:
    static QString CommandFolder();
    // A command file's bytes and what parsing them gave: the records from
    // `first` on, or the failure's message.
    struct ClaimedFile {
        QByteArray content;
        qint64 modifiedMs = 0;
        int first = 0;
        bool parsed = false;
        QString failure;
    };
    // Reads, checks and claims one entry of the command folder; true when
    // it was claimed and its read step ran.
    bool TakeCommandFile(const QString &source, const QString &name);
    std::optional<ClaimedFile> ReadLeftoverWorkFile();
    // Tells whether the entry can be read as a command file at all, and
    // deals with one that cannot; true when `entry` holds its bytes.
    bool Readable(const Platform::FolderEntry &entry, const QString &path, const QString &name);
    // Parses a packet's rows into records after the list's current end;
    // false, with the list as it was, when the packet is not one.
    bool ReadPacket(const QByteArray &content, QString &failure);
    // The log text, the bytes kept and the work file gone.
    void RefuseBrokenFile(const ClaimedFile &claimed);
    void Notice(const QString &name, const QString &text);
    // Frees the records past the first `count`.
    void TruncateList(int count);
    void ReadRows();
    void AppendRecordOfCurrentRow();
    QString ColumnText(const QString &columnName) const;
    QString ScanFailureText(const QString &message) const;
    void HandOverRecords(const ClaimedFile &claimed);

    std::unique_ptr<TClientDataSet> FoXML_Client;
    QList<PGravaXML> FoLista_XML;
    QString FoControleLog;
    PGravaXML FoPGravaXML = nullptr;
    QString ForFieldName02;
    QString ForFieldName01;
    QString FoLocal;
    QString FoIdentif;
    QString FoNome_XML;
    QString FoSection;
    QString FoTipoArquivo;

    RecordsReadHandler recordsRead_;
    ClaimHandler claimStarting_;
    PassStopCheck passStop_;
    CommandJournal *journal_ = nullptr;
    QString sourceName_;
    EntrySightings sightings_;
    std::optional<ClaimedFile> claimed_;  // read before its claim, for the read step
    QStringList notices_;
    std::exception_ptr handlerFailure_;  // raised again once the pass has ended
    bool claimRefused_ = false;          // the claim handler ended the pass
};

}  // namespace Catraca
