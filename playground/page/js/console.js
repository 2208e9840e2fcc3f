// The output pane: what a program prints, the compiler's text, the package's
// lines about calls it repaired (each a line of its own that a click follows to
// the program's place) and the program's end. Text is put into the pane once per display frame, as new text
// nodes (never by copying the pane's text again), and the pane keeps its last
// LIMIT characters: a program printing without end costs the page a bounded
// amount of work per frame.

export const LIMIT = 200000;

export function createConsole(pane) {
  let length = 0;              // characters in the pane
  let droppedNote = null;      // the line saying the start is dropped, once it is
  let startDropped = false;    // output was dropped before it reached the pane
  let unwritten = [];          // [{stream, text}] waiting for the next display frame
  let unwrittenLength = 0;
  let scheduled = false;

  // `follow`: a line of its own that runs follow() when clicked (or Enter).
  function write(stream, text, follow = null) {
    if (!text) return;
    const last = unwritten[unwritten.length - 1];
    if (last && last.stream === stream && !last.follow && !follow) last.text += text;
    else unwritten.push({ stream, text, follow });
    unwrittenLength += text.length;
    // A page that draws no frames (a hidden tab) still keeps only the last part.
    if (unwrittenLength > 2 * LIMIT) {
      while (unwrittenLength - unwritten[0].text.length >= LIMIT) unwrittenLength -= unwritten.shift().text.length;
      unwritten[0].text = unwritten[0].text.slice(unwrittenLength - LIMIT);
      unwrittenLength = LIMIT;
      startDropped = true;
    }
    if (!scheduled) {
      scheduled = true;
      requestAnimationFrame(flush);
    }
  }

  function flush() {
    scheduled = false;
    const atEnd = pane.scrollTop + pane.clientHeight >= pane.scrollHeight - 4;
    for (const { stream, text, follow } of unwritten) {
      const last = pane.lastChild;
      if (!follow && last && last !== droppedNote && last.className === stream) {
        last.appendChild(document.createTextNode(text));
      } else {
        const span = document.createElement('span');
        span.className = stream;
        span.textContent = text;
        if (follow) {
          span.classList.add('follow');
          span.tabIndex = 0;
          span.setAttribute('role', 'link');
          span.addEventListener('click', follow);
          span.addEventListener('keydown', (e) => { if (e.key === 'Enter') follow(); });
        }
        pane.appendChild(span);
      }
      length += text.length;
    }
    unwritten = [];
    unwrittenLength = 0;
    if ((length > LIMIT || startDropped) && !droppedNote) {
      droppedNote = document.createElement('span');
      droppedNote.className = 'dropped';
      droppedNote.textContent = `[the output's start is dropped: the pane keeps its last ${LIMIT} characters]\n`;
      pane.insertBefore(droppedNote, pane.firstChild);
    }
    // The oldest text goes, node by node (a span holds several text nodes).
    while (length > LIMIT) {
      const span = droppedNote.nextSibling;
      const node = span.firstChild;
      const cut = Math.min(node.textContent.length, length - LIMIT);
      if (cut >= node.textContent.length) {
        node.remove();
        if (!span.firstChild) span.remove();
      } else {
        node.textContent = node.textContent.slice(cut);
      }
      length -= cut;
    }
    if (atEnd) pane.scrollTop = pane.scrollHeight;
  }

  function clear() {
    pane.textContent = '';
    length = 0;
    droppedNote = null;
    startDropped = false;
    unwritten = [];
    unwrittenLength = 0;
  }

  return { write, clear };
}
