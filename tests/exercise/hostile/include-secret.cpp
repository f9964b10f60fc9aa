// Has the compiler read a file that only the grader may read: its lines would show in the
// compiler's errors.
#include "@SECRET@"

int main() {
    return 0;
}
