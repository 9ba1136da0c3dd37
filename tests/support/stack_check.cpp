#include "tests/support/stack_check.h"

// cdecl (function, arguments, count): pushes the arguments right to left,
// calls, and returns ESP after the call minus ESP before the pushes.
extern "C" int StackDriftOfCallAsm(const void* function, const uintptr_t* arguments, int count);
asm(R"(
    .text
    .globl _StackDriftOfCallAsm
_StackDriftOfCallAsm:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %ebx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl %esp, %eax
    subl %ebx, %eax
    movl %ebx, %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
)");

int StackDriftOfCall(const void* function, const uintptr_t* arguments, int count) {
    return StackDriftOfCallAsm(function, arguments, count);
}
