#include "library/service/sc_status_texts.h"

#include <span>

#include "library/status_text.h"

namespace VostUsbWardenManager {

namespace {

struct CodeText {
  std::uint32_t code;
  const char16_t* text;
};

struct OperationTexts {
  std::span<const CodeText> known;
  const char16_t* other;  // joined with the decimal code
};

constexpr CodeText kOpenManager[] = {
    {5, u"Odmowa dostępu do SCManager-a"},
    {87, u"Zły parametr dla otwarcia SCManager-a"},
    {1065, u"Nie ma bazy danych SCManager-a"},
};

constexpr CodeText kCreateSvc[] = {
    {5, u"Odmowa dostępu do serwisu"},
    {6, u"Błędny uchwyt SCManager-a"},
    {87, u"Zły parametr dla funkcji CreateService"},
    {123, u"Nazwa serwisu jest błędna"},
    {1057, u"Błędne konto dla funkcji CreateService"},
    {1059, u"Serwis nie może mieć cyklicznej zależności"},
    {1073, u"Serwis o tej nazwie już istnieje"},
    {1078, u"Serwis o tej wyświetlanej nazwie juz istnieje"},
};

constexpr CodeText kOpenSvc[] = {
    {5, u"Odmowa dostępu do serwisu"},
    {6, u"Błędny uchwyt SCManager-a"},
    {123, u"Błędna nazwa serwisu"},
    {1060, u"Serwis nie jest zainstalowany"},
};

constexpr CodeText kStartSvc[] = {
    {3, u"The service binary file could not be found"},
    {5, u"Odmowa dostępu do serwisu"},
    {6, u"Błędny uchwyt serwisu"},
    {1053, u"Operacja startowania serwisu nie zakończyła się w wymaganym czasie"},
    {1054, u"Nie można utworzyć wątku dla serwisu"},
    {1055, u"Baza danych serwisów jest zablokowana"},
    {1056, u"Serwis jest juz wystartowany"},
    {1058, u"Serwis jest wyłączony z użycia"},
    {1068, u"Serwis zależy od serwisu, którego start jest nieudany"},
    {1069, u"Konto serwisu nie ma prawa logować się jako usługa"},
    {1072, u"Trwa usuwanie serwisu"},
    {1075, u"Brak serwisu od którego zależy niniejszy serwis"},
    {1115, u"Trwa zamykanie systemu, serwis nie może byc wystartowany"},
};

constexpr CodeText kDeleteSvc[] = {
    {5, u"Odmowa dostępu do serwisu"},
    {6, u"Błędny uchwyt serwisu"},
    {1072, u"Serwis jest w trakcie usuwania"},
};

constexpr CodeText kControlSvc[] = {
    {5, u"Odmowa dostępu do serwisu"},
    {6, u"Błędny uchwyt serwisu"},
    {87, u"Niezrozumiały kod polecenia dla funkcji ControlService"},
    {1051, u"Serwis nie może być zatrzymany bo działa zależny od niego serwis"},
    {1052, u"Polecenie jest niewłaściwe dla tego serwisu"},
    {1053, u"Serwis nie przyjął polecenia w wymaganym czasie"},
    {1061, u"Obecny stan serwisu nie pozwala na przesłanie polecenia"},
    {1062, u"Serwis nie jest wystartowany"},
    {1072, u"Serwis jest w trakcie usuwania"},
    {1115, u"System jest w trakcie zamykania"},
};

constexpr CodeText kQueryStatus[] = {
    {5, u"Odmowa dostępu do serwisu"},
    {6, u"Błędny uchwyt serwisu"},
    {87, u"Nieprawidłowa wartość rozmiaru bufora pobieranej informacji"},
    {122, u"Bufor jest za mały do pobrania oczekiwanej informacji"},
    {124, u"Wartość określająca typ informacji nie jest obsługiwana"},
    {1072, u"Serwis jest w trakcie usuwania"},
    {1115, u"System jest w trakcie zamykania"},
};

OperationTexts TextsOf(ScOperation operation) {
  switch (operation) {
    case ScOperation::OpenManager: return {kOpenManager, u"Nieznany błąd otwarcia SCManager-a"};
    case ScOperation::CreateSvc: return {kCreateSvc, u"Nieznanay błąd wywołania funkcji CreateService"};
    case ScOperation::OpenSvc: return {kOpenSvc, u"Nieznany błąd otwarcia serwisu"};
    case ScOperation::StartSvc: return {kStartSvc, u"Nieznany błąd startowania serwisu"};
    case ScOperation::DeleteSvc: return {kDeleteSvc, u"Nieznany błąd funkcji DeleteService"};
    case ScOperation::ControlSvc: return {kControlSvc, u"Nieznany błąd funkcji ControlService"};
    case ScOperation::QueryStatus: break;
  }
  return {kQueryStatus, u"Nieznany błąd funkcji QueryServiceStatusEx"};
}

}  // namespace

std::u16string ScStatusText(ScOperation operation, std::uint32_t code) {
  const OperationTexts texts = TextsOf(operation);
  for (const CodeText& entry : texts.known) {
    if (entry.code == code) return entry.text;
  }
  return KodText(texts.other, code);
}

}  // namespace VostUsbWardenManager
