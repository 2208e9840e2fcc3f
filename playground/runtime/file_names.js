// The names a program's files may have in the playground: one rule for the
// page's tabs, its links and its storage, and for the compiler.

// One file of the program's folder: a C++ source or header, letters, digits,
// _ . - (not first), at most 64 characters before the suffix.
const NAME = /^[A-Za-z0-9_][A-Za-z0-9_.-]{0,63}\.(cpp|h|hpp)$/;

// Why a file name cannot be used ('' when it can): `others` are the names taken.
export function nameProblem(name, others = []) {
  if (!NAME.test(name)) return 'a file name is letters, digits, _ . - and ends in .cpp, .h or .hpp';
  if (others.includes(name)) return `there is a file ${name} already`;
  return '';
}

// Whether the file is compiled (a source), not only included (a header).
export function isSource(name) {
  return name.endsWith('.cpp');
}
