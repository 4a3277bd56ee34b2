// A 32-bit host may call the module with its stack aligned to 4 bytes only, while the module
// keeps SSE values on the stack: each entry point must realign it. The whole calling
// sequence is run with the stack at each 4-byte offset from 16-byte alignment, and must
// deliver what an aligned caller gets. (64-bit Windows always calls with an aligned stack.)
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "test_host.h"

#if defined(__i386__)
// call_at_offset(function, arguments, count, offset): calls the stdcall function with `count`
// 32-bit arguments and returns its result, the stack `offset` bytes below 16-byte alignment
// before the arguments are pushed.
extern "C" intptr_t call_at_offset(const void* function, const intptr_t* arguments, int count, int offset);
asm(R"(
  .text
  .globl _call_at_offset
_call_at_offset:
  pushl %ebp
  movl %esp, %ebp
  pushl %esi
  pushl %edi
  movl 8(%ebp), %eax
  movl 12(%ebp), %esi
  movl 16(%ebp), %ecx
  andl $-16, %esp
  subl 20(%ebp), %esp
1:
  testl %ecx, %ecx
  jz 2f
  decl %ecx
  pushl (%esi,%ecx,4)
  jmp 1b
2:
  call *%eax
  leal -8(%ebp), %esp
  popl %edi
  popl %esi
  popl %ebp
  ret
)");

namespace wintest {
namespace {

template <class... Arguments>
intptr_t call(int offset, const void* function, Arguments... arguments) {
  const intptr_t list[] = {(intptr_t)(arguments)...};
  return call_at_offset(function, list, sizeof...(arguments), offset);
}

// The 32-bit output of a stream, every export of the sequence called at `offset`.
std::vector<float> decode_at(int offset, const std::string& path) {
  ModuleExports& m = module();
  std::vector<float> out;
  int32_t rate = 0, value = 0;
  int16_t bits = 0, channels = 0;
  FilterQueryRecord record;
  call(offset, (const void*)m.RadozErezEduzad, &record);
  auto input = (MpegInputHandle)call(offset, (const void*)m.OpenFilterInput, path.c_str(), &rate, &bits, &channels, 0, &value);
  if (!WT_CHECK(input != nullptr)) return out;
  call(offset, (const void*)m.FilterSetOptions2, input, 0x200000 | 20000, &rate, &channels, &bits);
  char text[256];
  call(offset, (const void*)m.FilterOptionsString, input, text);
  std::vector<float> buffer(2304);
  for (intptr_t n; (n = call(offset, (const void*)m.ReadFilterInput, input, buffer.data(), 9216)) > 0;)
    out.insert(out.end(), buffer.begin(), buffer.begin() + n / 4);
  call(offset, (const void*)m.CloseFilterInput, input);
  return out;
}

}  // namespace

void run_alignment_cases() {
  const HostEnvironment& env = environment();
  if (env.conformance_dir.empty()) {
    skip_case("entry points at every stack alignment", "no compliance streams", env.conformance_required);
    return;
  }
  run_case("entry points at every stack alignment", [&env] {
    for (const char* name : {"l2-fl16.bit", "l3-compl.bit"}) {
      const std::string path = env.conformance_dir + name;
      const std::vector<float> aligned = decode_at(0, path);
      WT_CHECK(!aligned.empty());
      for (int offset : {4, 8, 12}) WT_CHECK(decode_at(offset, path) == aligned);
    }
  });
}

}  // namespace wintest
#else
namespace wintest {
void run_alignment_cases() {}
}  // namespace wintest
#endif
