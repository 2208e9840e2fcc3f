// Test-only: served by playground_runtime_test.mjs in place of the program
// Worker's module (its test page points new program Workers here). It notes
// each wait of the program (its timeout, whether it was paced by the display's
// frames, and whether it ran to its end: the wait's own answer, false when no
// input woke it) in a message to the page, then runs the real program Worker
// unchanged.
const Suspending = WebAssembly.Suspending;
WebAssembly.Suspending = function (fn) {
  if (fn.name !== 'wait') return new Suspending(fn);
  return new Suspending(async (timeout, paced) => {
    const woken = await fn(timeout, paced);
    postMessage({ type: 'probe-wait', timeout, paced: !!paced, woken: woken === true,
                  expired: timeout > 0 && woken === false });
    return woken;
  });
};
await import('/runtime/program_worker.js');
