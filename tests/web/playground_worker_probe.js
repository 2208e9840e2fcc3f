// Test-only: served by playground_runtime_test.mjs in place of the program
// Worker's module (its test page points new program Workers here). It notes
// each wait of the program (its timeout and whether it ran to its end) in a
// message to the page, then runs the real program Worker unchanged.
const Suspending = WebAssembly.Suspending;
WebAssembly.Suspending = function (fn) {
  if (fn.name !== 'wait') return new Suspending(fn);
  return new Suspending(async (timeout) => {
    const start = performance.now();
    const result = await fn(timeout);
    postMessage({ type: 'probe-wait', timeout, expired: timeout > 0 && performance.now() - start >= timeout - 1 });
    return result;
  });
};
await import('/runtime/program_worker.js');
