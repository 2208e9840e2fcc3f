// Help's list of the package's calls: each with its signature and a line of what
// it does, from reference.json (read from tavlo.h when the site is built).
export async function showReference(list, reference) {
  if (!list) return;
  let entries = [];
  try {
    entries = await reference();
  } catch (e) {
    list.textContent = `The list of calls could not be read (${e.message}).`;
    return;
  }
  list.textContent = '';
  for (const entry of entries.filter((e) => e.kind === 'call')) {
    const item = document.createElement('li');
    const signature = document.createElement('code');
    signature.textContent = entry.signature;
    item.append(signature, document.createTextNode(` ${entry.summary}`));
    list.appendChild(item);
  }
}
