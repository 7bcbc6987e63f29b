// The service control wrapper without a service manager: every status text by operation and code,
// the form for other codes, and the missing-handle checks that come before any system call.
#include <gtest/gtest.h>

#include <functional>

#include "library/service/sc_manager.h"
#include "library/service/sc_status_texts.h"
#include "library/status_text.h"
#include "text/utf.h"

using namespace VostUsbWardenManager;

namespace {

struct TextCase {
  ScOperation operation;
  std::uint32_t code;
  const char16_t* text;
};

const TextCase kTexts[] = {
    {ScOperation::OpenManager, 5, u"Odmowa dostępu do SCManager-a"},
    {ScOperation::OpenManager, 87, u"Zły parametr dla otwarcia SCManager-a"},
    {ScOperation::OpenManager, 1065, u"Nie ma bazy danych SCManager-a"},
    {ScOperation::OpenManager, 6, u"Nieznany błąd otwarcia SCManager-a; kod błędu=6"},
    {ScOperation::CreateSvc, 5, u"Odmowa dostępu do serwisu"},
    {ScOperation::CreateSvc, 6, u"Błędny uchwyt SCManager-a"},
    {ScOperation::CreateSvc, 87, u"Zły parametr dla funkcji CreateService"},
    {ScOperation::CreateSvc, 123, u"Nazwa serwisu jest błędna"},
    {ScOperation::CreateSvc, 1057, u"Błędne konto dla funkcji CreateService"},
    {ScOperation::CreateSvc, 1059, u"Serwis nie może mieć cyklicznej zależności"},
    {ScOperation::CreateSvc, 1073, u"Serwis o tej nazwie już istnieje"},
    {ScOperation::CreateSvc, 1078, u"Serwis o tej wyświetlanej nazwie juz istnieje"},
    {ScOperation::CreateSvc, 1060, u"Nieznanay błąd wywołania funkcji CreateService; kod błędu=1060"},
    {ScOperation::OpenSvc, 5, u"Odmowa dostępu do serwisu"},
    {ScOperation::OpenSvc, 6, u"Błędny uchwyt SCManager-a"},
    {ScOperation::OpenSvc, 123, u"Błędna nazwa serwisu"},
    {ScOperation::OpenSvc, 1060, u"Serwis nie jest zainstalowany"},
    {ScOperation::OpenSvc, 1450, u"Nieznany błąd otwarcia serwisu; kod błędu=1450"},
    {ScOperation::StartSvc, 3, u"The service binary file could not be found"},
    {ScOperation::StartSvc, 5, u"Odmowa dostępu do serwisu"},
    {ScOperation::StartSvc, 6, u"Błędny uchwyt serwisu"},
    {ScOperation::StartSvc, 1053, u"Operacja startowania serwisu nie zakończyła się w wymaganym czasie"},
    {ScOperation::StartSvc, 1054, u"Nie można utworzyć wątku dla serwisu"},
    {ScOperation::StartSvc, 1055, u"Baza danych serwisów jest zablokowana"},
    {ScOperation::StartSvc, 1056, u"Serwis jest juz wystartowany"},
    {ScOperation::StartSvc, 1058, u"Serwis jest wyłączony z użycia"},
    {ScOperation::StartSvc, 1068, u"Serwis zależy od serwisu, którego start jest nieudany"},
    {ScOperation::StartSvc, 1069, u"Konto serwisu nie ma prawa logować się jako usługa"},
    {ScOperation::StartSvc, 1072, u"Trwa usuwanie serwisu"},
    {ScOperation::StartSvc, 1075, u"Brak serwisu od którego zależy niniejszy serwis"},
    {ScOperation::StartSvc, 1115, u"Trwa zamykanie systemu, serwis nie może byc wystartowany"},
    {ScOperation::StartSvc, 2, u"Nieznany błąd startowania serwisu; kod błędu=2"},
    {ScOperation::StartSvc, 1114, u"Nieznany błąd startowania serwisu; kod błędu=1114"},
    {ScOperation::DeleteSvc, 5, u"Odmowa dostępu do serwisu"},
    {ScOperation::DeleteSvc, 6, u"Błędny uchwyt serwisu"},
    {ScOperation::DeleteSvc, 1072, u"Serwis jest w trakcie usuwania"},
    {ScOperation::DeleteSvc, 1060, u"Nieznany błąd funkcji DeleteService; kod błędu=1060"},
    {ScOperation::ControlSvc, 5, u"Odmowa dostępu do serwisu"},
    {ScOperation::ControlSvc, 6, u"Błędny uchwyt serwisu"},
    {ScOperation::ControlSvc, 87, u"Niezrozumiały kod polecenia dla funkcji ControlService"},
    {ScOperation::ControlSvc, 1051, u"Serwis nie może być zatrzymany bo działa zależny od niego serwis"},
    {ScOperation::ControlSvc, 1052, u"Polecenie jest niewłaściwe dla tego serwisu"},
    {ScOperation::ControlSvc, 1053, u"Serwis nie przyjął polecenia w wymaganym czasie"},
    {ScOperation::ControlSvc, 1061, u"Obecny stan serwisu nie pozwala na przesłanie polecenia"},
    {ScOperation::ControlSvc, 1062, u"Serwis nie jest wystartowany"},
    {ScOperation::ControlSvc, 1072, u"Serwis jest w trakcie usuwania"},
    {ScOperation::ControlSvc, 1115, u"System jest w trakcie zamykania"},
    {ScOperation::ControlSvc, 1056, u"Nieznany błąd funkcji ControlService; kod błędu=1056"},
    {ScOperation::QueryStatus, 5, u"Odmowa dostępu do serwisu"},
    {ScOperation::QueryStatus, 6, u"Błędny uchwyt serwisu"},
    {ScOperation::QueryStatus, 87, u"Nieprawidłowa wartość rozmiaru bufora pobieranej informacji"},
    {ScOperation::QueryStatus, 122, u"Bufor jest za mały do pobrania oczekiwanej informacji"},
    {ScOperation::QueryStatus, 124, u"Wartość określająca typ informacji nie jest obsługiwana"},
    {ScOperation::QueryStatus, 1072, u"Serwis jest w trakcie usuwania"},
    {ScOperation::QueryStatus, 1115, u"System jest w trakcie zamykania"},
    {ScOperation::QueryStatus, 1060, u"Nieznany błąd funkcji QueryServiceStatusEx; kod błędu=1060"},
    // The decimal code is the code's signed value, and nothing follows it.
    {ScOperation::QueryStatus, 0x80070005u, u"Nieznany błąd funkcji QueryServiceStatusEx; kod błędu=-2147024891"},
};

TEST(ScStatusTexts, EveryOperationAndCode) {
  for (const TextCase& c : kTexts) {
    EXPECT_EQ(text::to_utf8(ScStatusText(c.operation, c.code)), text::to_utf8(c.text))
        << "operation " << static_cast<int>(c.operation) << ", code " << c.code;
  }
}

TEST(StatusText, CodesEndTheTextAndLongTextsStayWhole) {
  EXPECT_EQ(text::to_utf8(ErrText(u"Driver not open", 2)), "Driver not open; err=0x00000002");
  EXPECT_EQ(text::to_utf8(ErrText(u"x", 0xABCDEF01u)), "x; err=0xABCDEF01");
  EXPECT_EQ(text::to_utf8(KodText(u"y", 1450)), "y; kod błędu=1450");
  // Longer than the 100 code units a fixed buffer would hold: nothing is cut.
  const std::u16string long_text(180, u'ż');
  EXPECT_EQ(ErrText(long_text, 5), long_text + u"; err=0x00000005");
  EXPECT_EQ(KodText(long_text, 5), long_text + u"; kod błędu=5");
}

TEST(SCManager, MissingHandlesAreReportedBeforeAnySystemCall) {
  SCManager scm;
  scm.init(u"NoSuchServiceAnywhere", u"NoSuchServiceAnywhere");
  SERVICE_STATUS ss{};
  SERVICE_STATUS_PROCESS ssp{};
  struct Step {
    const char* name;
    std::function<std::uint32_t()> call;
    const char16_t* status;
  };
  const Step steps[] = {
      {"CreateSvc", [&] { return scm.CreateSvc(3, u"C:\\x.sys", nullptr); }, u"Błędny uchwyt SCManager-a"},
      {"StartSvc", [&] { return scm.StartSvc(); }, u"Błędny uchwyt serwisu"},
      {"OpenSvc", [&] { return scm.OpenSvc(SERVICE_QUERY_STATUS); }, u"Błędny uchwyt SCManager-a"},
      {"DeleteSvc", [&] { return scm.DeleteSvc(); }, u"Błędny uchwyt serwisu"},
      {"ControlSvc", [&] { return scm.ControlSvc(SERVICE_CONTROL_STOP, &ss); }, u"Błędny uchwyt serwisu"},
      {"QueryStatus", [&] { return scm.QueryStatus(ssp); }, u"Błędny uchwyt serwisu"},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(s.call(), 6u) << s.name;
    EXPECT_EQ(text::to_utf8(scm.getStatus()), text::to_utf8(s.status)) << s.name;
  }
  EXPECT_EQ(scm.getLastError(), 0u) << "a missing handle leaves lastError as it was";
  EXPECT_FALSE(scm.IsManagerOpen());
  EXPECT_FALSE(scm.IsServiceOpen());
}

TEST(SCManager, ClosingClosedHandlesIsHarmless) {
  SCManager scm;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(scm.CloseSvc(), 0u);
    EXPECT_EQ(scm.CloseMan(), 0u);
  }
  EXPECT_TRUE(scm.getStatus().empty());
}

}  // namespace
