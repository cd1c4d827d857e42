// The messages of the database components' own checks, numbered as the client protocol knows
// them: the number travels as the SqlCode of an EIBClientError, the text as its message.
#pragma once

#include "texts/resource_strings.h"

namespace xg {

XG_RESOURCE(SIBUnknownError, "Unknown error");
XG_RESOURCE(SIBClientLibraryNotFound,
            "Biblioteca gds32.dll do InterBase n\xE3o encontrada no caminho. Favor instalar "
            "InterBase para usar esta funcionalidade");
XG_RESOURCE(SIBFunctionNotAvailable,
            "%s \xE9 uma fun\xE7\xE3o do InterBase 6. Favor atualizar InterBase 6 para usar esta "
            "funcionalidade");
XG_RESOURCE(SIBNotPermitted, "N\xE3o permitido");
XG_RESOURCE(SIBDatabaseClosed,
            "N\xE3o \xE9 poss\xEDvel executar opera\xE7\xE3o -- DB n\xE3o est\xE1 aberto");
XG_RESOURCE(SIBDatabaseOpen,
            "N\xE3o \xE9 poss\xEDvel executar opera\xE7\xE3o -- DB est\xE1 atualmente aberto");
XG_RESOURCE(SIBDatabaseNameMissing, "Faltando nome do Banco de Dados");
XG_RESOURCE(SIBNotInTransaction, "Transa\xE7\xE3o n\xE3o est\xE1 ativa");
XG_RESOURCE(SIBInTransaction, "Transa\xE7\xE3o est\xE1 ativa");
XG_RESOURCE(SIBDescriptorIndexOutOfRange, "\xCDndice XSQLDA fora da faixa");
XG_RESOURCE(SIBUnknownSQLDataType, "Tipo de Dados SQL desconhecido (%d)");
XG_RESOURCE(SIBInvalidDataConversion, "Coners\xE3o de dados inv\xE1lida");
XG_RESOURCE(SIBSQLParseError, "Erro na an\xE1lise do SQL:\r\n\r\n%s");
XG_RESOURCE(SIBEmptySQLStatement, "Indica\xE7\xE3o do SQL vazia");
XG_RESOURCE(SIBIsASelectStatement, "use Open para uma Select Statement");
XG_RESOURCE(SIBEOCReached, "Fim do coment\xE1rio detectado");
XG_RESOURCE(SIBEOSReached, "Fim da string detectada");
XG_RESOURCE(SIBParamNameExpected, "Nome do par\xE2metro esperado");
XG_RESOURCE(SIBFieldSizeMismatch,
            "Tamanho N\xE3o Combina - Tamanho do Campo %s \xE9 muito pequeno para o dado");
// Numbers after the protocol's table, for checks that it does not have.
XG_RESOURCE(SIBDPBValueTooLong,
            "Valor do par\xE2metro DPB (%s) \xE9 longo demais: o m\xE1ximo \xE9 255 bytes");
XG_RESOURCE(SIBDatabaseNameTooLong,
            "Nome do banco de dados \xE9 longo demais: o m\xE1ximo \xE9 32767 bytes");
XG_RESOURCE(SIBNoResultSet, "A instru\xE7\xE3o n\xE3o devolveu um conjunto de registros");

// The numbers of the messages above: an EIBClientError carries the number as its SqlCode.
enum class ClientError : int {
  kUnknownError = 0,
  kClientLibraryNotFound = 1,
  kFunctionNotAvailable = 3,
  kNotPermitted = 5,
  kDatabaseClosed = 15,
  kDatabaseOpen = 16,
  kDatabaseNameMissing = 17,
  kNotInTransaction = 18,
  kInTransaction = 19,
  kDescriptorIndexOutOfRange = 26,
  kUnknownSqlDataType = 35,
  kInvalidDataConversion = 38,
  kSqlParseError = 55,
  kEmptySqlStatement = 65,
  kIsASelectStatement = 66,
  kEocReached = 100,
  kEosReached = 101,
  kParamNameExpected = 102,
  kFieldSizeMismatch = 117,
  kDpbValueTooLong = 122,
  kNoResultSet = 123,
  kDatabaseNameTooLong = 124,
};

// The resource of a message; "Unknown error" for a number without one.
const ResourceString& ClientErrorResource(ClientError error);

}  // namespace xg
