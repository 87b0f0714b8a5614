#pragma once

#include <QObject>
#include <QString>

namespace Catraca {

// Holds the author's data and shows it in the About window. The owner
// destroys it with itself.
class TSobre : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Autor_Aplicacao READ Autor_Aplicacao WRITE SetAutor_Aplicacao)
    Q_PROPERTY(QString Autor_email READ Autor_email WRITE SetAutor_email)
    Q_PROPERTY(QString Autor_telefone READ Autor_telefone WRITE SetAutor_telefone)
    Q_PROPERTY(QString Empresa READ Empresa WRITE SetEmpresa)
public:
    explicit TSobre(QObject *owner = nullptr);

    // Shows the About window modally and returns once it has been closed.
    // The window is built anew for every call and destroyed afterwards, also
    // when filling or showing it fails.
    void ExecutaAutor();

    QString Autor_Aplicacao() const { return FAutor_Aplicacao; }
    void SetAutor_Aplicacao(const QString &value) { FAutor_Aplicacao = value; }
    QString Autor_email() const { return FAutor_email; }
    void SetAutor_email(const QString &value) { FAutor_email = value; }
    QString Autor_telefone() const { return FAutor_telefone; }
    void SetAutor_telefone(const QString &value) { FAutor_telefone = value; }
    QString Empresa() const { return FEmpresa; }
    void SetEmpresa(const QString &value) { FEmpresa = value; }

private:
    QString FAutor_Aplicacao;
    QString FAutor_telefone;
    QString FAutor_email;
    QString FEmpresa;
};

}  // namespace Catraca
