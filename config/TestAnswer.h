// A hook for tests of the built program, which cannot press buttons from
// outside: when the environment variable TIDELARN_TEST_ANSWER is set, every
// dialog is answered as soon as it is shown. A text input box takes the value
// as its text and is confirmed; any other dialog gets its button of that
// object name pressed (for example "butSkip" in the error dialog), or is
// closed when it has none. Without the variable nothing is installed.
#pragma once

class QApplication;

void InstallTestAnswer(QApplication* app);
