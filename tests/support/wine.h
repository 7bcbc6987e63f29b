// Whether the tests run under Wine (the Windows build). Wine answers a few calls differently from
// Windows; a test that checks such an answer says which difference it is and skips the check
// under Wine.
#pragma once

namespace testing_support {

bool under_wine();

// Removes what the suite keeps on the machine: the registry key HKLM\Software\kavenor and the data
// folder %ALLUSERSPROFILE%\kavenor. Under Wine, where the tests share one machine, FreshHost does
// this around every test; nowhere else, since on Windows it would remove a real installation's.
void forget_the_suite();

}  // namespace testing_support
