// The Windows test programs' main: GoogleTest's, after making sure that a
// crash ends the program at once. Unhandled, a crash would end in the
// system's error report or, under Wine, in a question whether to debug, and
// a question nobody answers holds the test run until its time limit. Here it
// ends the program with the exception's code, after one line on the error
// stream naming the exception and where it happened.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Appends value as 0x and hexadecimal digits: nothing in here may allocate,
// as the heap may be what was damaged.
char* AppendHex(char* out, unsigned long long value, int digits) {
  *out++ = '0';
  *out++ = 'x';
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
    *out++ = "0123456789ABCDEF"[(value >> shift) & 0xF];
  return out;
}

char* AppendText(char* out, const char* text) {
  while (*text) *out++ = *text++;
  return out;
}

LONG WINAPI EndAtOnce(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  char line[128];
  char* end = AppendText(line, "\ncrash: exception ");
  end = AppendHex(end, record->ExceptionCode, 8);
  end = AppendText(end, " at ");
  end = AppendHex(end, reinterpret_cast<ULONG_PTR>(record->ExceptionAddress), sizeof(void*) * 2);
  end = AppendText(end, ": the test program ends here\n");
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(end - line), &written,
            nullptr);
  TerminateProcess(GetCurrentProcess(), record->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
  // No error boxes, for this program and (inherited) the programs it starts.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndAtOnce);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
