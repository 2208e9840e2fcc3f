// The program's input queue and its wait: input records queued by the page,
// oldest first, taken by the program; wait() resolves when input is queued or a
// timeout passes, so a program suspended in it resumes.

export function createInputQueue() {
  const queue = [];
  let wake = null;  // resolves the wait in progress

  function push(input) {
    queue.push(input);
    if (wake) {
      const resolve = wake;
      wake = null;
      resolve(true);
    }
  }

  // The oldest input, or null.
  function next() {
    return queue.length ? queue.shift() : null;
  }

  // Resolves when input is queued (with true), or after timeout ms (with false;
  // a negative timeout: none). wait(0) only gives the browser one turn.
  function wait(timeout) {
    return new Promise((resolve) => {
      if (queue.length) {
        resolve(true);
        return;
      }
      let timer = null;
      const done = (woken) => {
        if (timer !== null) clearTimeout(timer);
        if (wake === done) wake = null;
        resolve(woken === true);
      };
      wake = done;
      if (timeout >= 0) timer = setTimeout(done, timeout);
    });
  }

  return { push, next, wait };
}
