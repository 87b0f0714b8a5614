#include "about/cSobre.h"

#include "about/uFrmSobre.h"

#include <memory>

TSobre::TSobre(QObject *owner)
    : QObject(owner)
{
}

void TSobre::ExecutaAutor()
{
    auto window = std::make_unique<T_FrmAutor>();
    window->_editNomeAutor->setText(Autor_Aplicacao());
    window->_editEmail->setText(Autor_email());
    window->_editTelefone->setText(Autor_telefone());
    window->_editEmpresa->setText(Empresa());
    window->exec();
}
