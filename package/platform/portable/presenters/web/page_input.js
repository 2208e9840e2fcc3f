// The program's input queue and its wait: input records queued by the page,
// oldest first, taken by the program; wait() resolves when input is queued or a
// timeout passes, so a program suspended in it resumes.
/* exported TavloInput */
var TavloInput = (function () {
  'use strict';

  function create() {
    var queue = [];
    var wake = null;  // resolves the wait in progress

    function push(input) {
      queue.push(input);
      if (wake) {
        var resolve = wake;
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
      return new Promise(function (resolve) {
        if (queue.length) return resolve(true);
        var timer = null;
        var done = function (woken) {
          if (timer !== null) clearTimeout(timer);
          if (wake === done) wake = null;
          resolve(woken === true);
        };
        wake = done;
        if (timeout >= 0) timer = setTimeout(done, timeout);
      });
    }

    return { push: push, next: next, wait: wait };
  }

  return { create: create };
})();
