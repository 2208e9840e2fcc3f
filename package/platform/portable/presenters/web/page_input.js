// The program's input queue and its wait: input records queued by the page,
// oldest first, taken by the program; wait() resolves when input is queued or a
// timeout passes, so a program suspended in it resumes.

// The longest wait a display frame ends (a 50 Hz display's frame and a little).
const DISPLAY_FRAME_MS = 21;

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
  // a negative timeout: none). wait(0) only gives the browser one turn. A paced
  // wait (the program's timer runs at about the display's rate) of up to a
  // display frame, 0 included, ends with the display's next frame instead, where
  // the page has frames to wait for.
  function wait(timeout, paced = false) {
    return new Promise((resolve) => {
      if (queue.length) {
        resolve(true);
        return;
      }
      let timer = null, frame = null;
      const done = (woken) => {
        if (timer !== null) clearTimeout(timer);
        if (frame !== null) cancelAnimationFrame(frame);
        if (wake === done) wake = null;
        resolve(woken === true);
      };
      wake = done;
      if (paced && timeout >= 0 && timeout <= DISPLAY_FRAME_MS && typeof requestAnimationFrame === 'function') {
        frame = requestAnimationFrame(() => done(false));
      } else if (timeout >= 0) {
        timer = setTimeout(done, timeout);
      }
    });
  }

  return { push, next, wait };
}
