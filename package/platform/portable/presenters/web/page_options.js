// A page's URL options, named like the program's own: seed=N (--seed),
// client=WxH (--client), frames=N (--frames). The program checks their values;
// an unknown parameter (a misspelt one) keeps the program from starting, as the
// program refuses an unknown option.

export const OPTIONS = ['seed', 'client', 'frames'];

// {args: the program's arguments, unknown: the parameters that are not options}
export function urlOptions(search) {
  const params = new URLSearchParams(search);
  const unknown = [];
  params.forEach((value, name) => {
    if (!OPTIONS.includes(name) && !unknown.includes(name)) unknown.push(name);
  });
  const args = OPTIONS.filter((name) => params.has(name)).map((name) => `--${name}=${params.get(name)}`);
  return { args, unknown };
}

// What the page says when unknown parameters keep the program from starting.
export function refusalText(unknown, what = 'The program was not started') {
  return `${what}: unknown URL parameter${unknown.length > 1 ? 's' : ''} ` +
         `${unknown.map((name) => `"${name}"`).join(', ')}; the parameters are ${OPTIONS.join(', ')}.`;
}
