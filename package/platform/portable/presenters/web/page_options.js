// A page's URL options, named like the program's own: seed=N (--seed),
// client=WxH (--client), frames=N (--frames). The program checks their values;
// an unknown parameter (a misspelt one) keeps the program from starting, as the
// program refuses an unknown option.

export const OPTIONS = ['seed', 'client', 'frames'];

// {args: the program's arguments, unknown: the parameters that are neither
// options nor the page's own (`own`, names the page reads itself), page: the
// page's own parameters' values}
export function urlOptions(search, own = []) {
  const params = new URLSearchParams(search);
  const unknown = [];
  const page = {};
  params.forEach((value, name) => {
    if (own.includes(name)) page[name] = value;
    else if (!OPTIONS.includes(name) && !unknown.includes(name)) unknown.push(name);
  });
  const args = OPTIONS.filter((name) => params.has(name)).map((name) => `--${name}=${params.get(name)}`);
  return { args, unknown, page };
}

// What the page says when unknown parameters keep the program from starting.
export function refusalText(unknown, what = 'The program was not started', own = []) {
  return `${what}: unknown URL parameter${unknown.length > 1 ? 's' : ''} ` +
         `${unknown.map((name) => `"${name}"`).join(', ')}; the parameters are ${OPTIONS.concat(own).join(', ')}.`;
}
