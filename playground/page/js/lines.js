// The page's lines for the person: the status line (the runtime's too: what
// happens now) and the notices above the editor (lines that stay until their
// cause goes). A notice has a key ('' as its text takes it away) and may offer
// one action, {label, run}. A notice said again changes in place, its button
// kept where it is, so a press aimed at it never misses.

export function createLines({ status, notice }) {
  function say(text) {
    status.textContent = text;
    status.title = text;
  }

  const notices = new Map();  // key -> {element, button, action}
  function tell(key, text, action = null) {
    let line = notices.get(key);
    if (!text) {
      if (line) {
        line.element.remove();
        notices.delete(key);
      }
      notice.hidden = notices.size === 0;
      return;
    }
    if (!line) {
      const element = document.createElement('div');
      element.dataset.key = key;
      element.appendChild(document.createElement('span'));
      line = { element, button: null, action: null };
      notices.set(key, line);
      notice.appendChild(element);
    }
    if (line.element.firstChild.textContent !== text) line.element.firstChild.textContent = text;
    line.action = action;
    if (action && !line.button) {
      const current = line;
      current.button = document.createElement('button');
      current.button.type = 'button';
      current.button.addEventListener('click', () => { if (current.action) current.action.run(); });
      current.element.append(' ', current.button);
    }
    if (line.button) {
      line.button.hidden = !action;
      if (action && line.button.textContent !== action.label) line.button.textContent = action.label;
    }
    notice.hidden = false;
  }

  return { say, tell };
}
